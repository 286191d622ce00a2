#!/usr/bin/env python3
"""Writes the gap-fraction files of the canopylight cases into their input/ folders (run from
this folder). Every file has the writer's layout: the header "nz   na", then ring by ring from
the zenith, the sectors of a ring in decreasing azimuth, "zenith   azimuth   gap   pixels".

canopy.gapfract.txt  a simulated canopy of LAI 2 with spherical leaf angles, photographed and
                     counted by the suite:
                       canopysim --size 400 --lai 2 --seed 7 --rings 9 photo.bmp
                       gapbatch --quiet --threshold 128 --rings 9 --sectors 8 photo.bmp
                     (kept here as canopy.gapfract.txt.src).
open.txt             9 x 36, every cell open.
cap30.txt            9 x 8, open within 30 degrees of the zenith (rings 0 to 2), closed beyond.
east.txt             9 x 8, open in the writer's sectors 0 to 3 (compass azimuths 0 to 180).
cut.txt              9 x 8 header, only the first 40 records.
over.txt             3 x 4, one gap fraction 1.25.
"""
import os
import shutil


def gap_file(nz, na, gap):
    lines = ["%d   %d" % (nz, na)]
    for i in range(nz):
        for k in range(na - 1, -1, -1):
            lines.append("%f   %f   %f   %d" % (90.0 * i / nz + 45.0 / nz,
                                               360.0 * k / na + 180.0 / na, gap(i, k), 1000))
    return "\n".join(lines) + "\n"


def put(case, name, text):
    os.makedirs(os.path.join(case, "input"), exist_ok=True)
    with open(os.path.join(case, "input", name), "w") as f:
        f.write(text)


canopy = open("canopy.gapfract.txt.src").read()
for case in ["reference_year", "reference_first_two_days", "csv_par", "polar_night",
             "refuse_step_not_dividing_a_day"]:
    put(case, "canopy.gapfract.txt", canopy)
shutil.copy("canopy.gapfract.txt.src", os.path.join("csv_standard_input", "stdin"))
put("open_sky", "open.txt", gap_file(9, 36, lambda i, k: 1.0))
cap = gap_file(9, 8, lambda i, k: 1.0 if i < 3 else 0.0)
put("zenith_cap_30_uoc", "cap30.txt", cap)
put("zenith_cap_30_soc", "cap30.txt", cap)
put("east_open_morning", "east.txt", gap_file(9, 8, lambda i, k: 1.0 if k < 4 else 0.0))
full = gap_file(9, 8, lambda i, k: 0.5).splitlines(True)
put("refuse_truncated_file", "cut.txt", "".join(full[:41]))
put("refuse_gap_out_of_range", "over.txt",
    gap_file(3, 4, lambda i, k: 1.25 if (i, k) == (1, 2) else 0.5))
