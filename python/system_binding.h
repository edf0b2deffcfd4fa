#pragma once
// gravlag._gravlag.Integration, the engine under gravlag.System.

#include <pybind11/pybind11.h>

namespace gravlag {

void BindSystem(pybind11::module_& m);

} // namespace gravlag
