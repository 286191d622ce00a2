#!/bin/sh
# The skygap demonstration: photographs a simulated canopy whose leaf area index and leaf angles
# are known, runs the whole suite on the photograph and prints each method's estimate beside the
# truth.
#
#   canopysim/demo.sh [BIN_DIR [OUT_DIR]]     (defaults: build/bin and build/demo)
#
# Everything the programs write stays in OUT_DIR.
set -eu

bin=$(cd "${1:-build/bin}" && pwd)
out=${2:-build/demo}
mkdir -p "$out"
cd "$out"
rm -f gapfract.txt table.txt tessor.txt bravik.txt quinda.txt zephor.txt keldro.txt \
      sun.txt gapimage.txt tessor_console.txt

lai=2
# 1. The photograph: 1000 x 1000 pixels, equidistant lens, grey tones.
"$bin/canopysim" --size 1000 --lai $lai --angles spherical --seed 42 \
    --truth truth.txt canopy.bmp
rim=$(sed -n 's/^rim points *//p' truth.txt)
set -- $rim

# 2. gapimage, answering its questions: the file, the lens (1 equidistant), the three rim
#    points, grey-toned with threshold 128, no gap sizes, 9 rings by 24 sectors, declination 0.
printf 'canopy.bmp\n1\n%s %s\n%s %s\n%s %s\ng\n128\nn\n9 24\n0\n' "$@" |
    "$bin/gapimage" > gapimage.txt

# 3. The table and the LAI programs. Parameter files: rings from 0 to 80 degrees (the ring at
#    the horizon, nearly black, is discarded); level ground.
printf '0\n1\n0\n' > bravik.par         # zenith rings, horizon rings discarded; no optimisation
printf '0\n1\n' > quinda.par
printf '0\n1\n' > zephor.par
printf '0\n0\n0\n0\n1\n' > tessor.par   # slope, aspect, path mode, zenith, horizon rings
printf '0\n0\n0\n0\n1\n8\n' > keldro.par  # ... point mode 0, largest LAI for a gapless cell 8
"$bin/pasket" gapfract.txt table.txt
printf '6\n0.5\n-1\n' | "$bin/tessor" tessor.par gapfract.txt tessor.txt > tessor_console.txt
"$bin/bravik" bravik.par gapfract.txt bravik.txt
"$bin/quinda" quinda.par gapfract.txt quinda.txt
"$bin/zephor" zephor.par gapfract.txt zephor.txt
"$bin/keldro" keldro.par gapfract.txt keldro.txt

# 4. The sun over the site on midsummer day: 46.5 N, 6.6 E, one hour east of Greenwich
#    (zone 23), daylight saving.
printf 'Demo_site\n46.5\n-6.6\n23\n172\n1\n0.0\n' | "$bin/moskira" > sun.txt

# 5. The summary.
true_lai=$(sed -n 's/^LAI *\([0-9.]*\).*/\1/p' truth.txt)
true_angle=$(sed -n 's/.*mean leaf angle \([0-9.]*\) deg.*/\1/p' truth.txt)
tessor=$(awk '/Distr. Funct./ { table = 1; getline; next }
              table && NF == 4 { angle += $1 * $3 }
              table && /^-/ { table = 0 }
              /LAIe/ { lai = $3 }
              END { printf "%.2f   %5.1f", lai, angle }' tessor.txt)
bravik=$(awk '/^Total +LAI=/ { lai = $3 } /^ALPHA=/ { angle = $2 }
              END { printf "%.2f   %5.1f", lai, angle }' bravik.txt)
# First rows (linear averaging), fields counted from the end: a wide number may fill its column.
# A noise-to-signal ratio of 1000 or more runs into quinda's LAI column ("1288.0251.0055").
quinda=$(awk '/^STP/ { getline; getline; lai = $(NF-7)
                       if (split(lai, part, ".") > 2) lai = substr(lai, index(lai, ".") + 4)
                       printf "%.2f   %5.1f", lai, $(NF-3); exit }' quinda.txt)
zephor=$(awk '/^STP/ { getline; getline; printf "%.2f   %5.1f", $(NF-9), $(NF-6); exit }' zephor.txt)
# keldro lists the points of Lang's method; the straight line through them gives the LAI.
keldro=$(awk 'NR == 4 { n = $1; next }
              NR > 4 && NF == 2 { sx += $1; sy += $2; sxx += $1 * $1; sxy += $1 * $2 }
              END { b = (sxy - sx * sy / n) / (sxx - sx * sx / n); a = sy / n - b * sx / n
                    printf "%.2f       -", 2 * (a + b) }' keldro.txt)
noon=$(awk '$1 == "13" { print $3 " deg high, azimuth " $4 " deg"; exit }' sun.txt)

cat <<EOF

skygap demo: a simulated canopy of known structure, photographed and analysed
  photograph  $out/canopy.bmp (1000 x 1000 pixels, equidistant lens)
  true canopy LAI $(printf '%.2f' "$true_lai"), spherical leaves spread at random, mean leaf angle $(printf '%.1f' "$true_angle") deg

  method                          LAI    mean leaf angle (deg)
  truth                           $(printf '%.2f   %5.1f' "$true_lai" "$true_angle")
  tessor  Norman & Campbell 1989  $tessor
  bravik  Suits                   $bravik
  quinda  Lang & Xiang 1986       $quinda
  zephor  Campbell ellipsoid      $zephor
  keldro  Lang 1987 (line fit)    $keldro

  Sun on 21 June at 46.5 N, 6.6 E, 13:00 summer time: $noon

  Full reports in $out/: truth.txt, gapimage.txt, gapfract.txt, table.txt,
  tessor.txt, bravik.txt, quinda.txt, zephor.txt, keldro.txt, sun.txt
EOF
