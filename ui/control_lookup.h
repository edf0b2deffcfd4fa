#pragma once
// How both implementations find a window's controls by name: a name is unique within its
// window (adding a second control of that name throws), and lookup gives the control of that
// name if it is of the kind asked for, else none. Only names from outside the program (a
// test, a driver) are looked up; the program holds its controls.

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ui/window_services.h"

namespace gravlag::ui {

using ControlList = std::vector<std::unique_ptr<Control>>;

inline void RequireNewControlName(const ControlList& controls, const std::string& name)
{
    for (const auto& control : controls)
        if (control->name() == name)
            throw std::invalid_argument("control already exists: " + name);
}

template <typename Kind>
Kind* FindControl(const ControlList& controls, std::string_view name)
{
    for (const auto& control : controls)
        if (control->name() == name)
            return dynamic_cast<Kind*>(control.get());
    return nullptr;
}

// Adds the control that `make` creates (a std::unique_ptr to it), once the name is known to
// be new, and gives it back.
template <typename Make>
auto& AddControl(ControlList& controls, const std::string& name, Make&& make)
{
    RequireNewControlName(controls, name);
    auto control = make();
    auto& added = *control;
    controls.push_back(std::move(control));
    return added;
}

} // namespace gravlag::ui
