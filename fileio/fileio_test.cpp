#include "fileio/fileio.h"
#include "fileio/signals.h"
#include <gtest/gtest.h>
TEST(Fileio, Builds) {}
