// The exponential and logarithm tables (tables.cpp): the text of their generated files.
#pragma once
#include <string>

#include "mp.h"

namespace fit {
std::string exp_tables();
std::string log_tables();
std::string poisson_normal_table();  // poisson.cpp
}  // namespace fit
