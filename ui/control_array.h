#pragma once
// An array of controls of one kind, as a form holds `Tmass`(0..2): indexed like an array,
// each element a control of the form's window. An index out of range throws.

#include <array>
#include <cstddef>

namespace gravlag::ui {

template <typename Control, std::size_t N>
class ControlArray {
public:
    // Braced, so that the controls are created in the order written.
    template <typename... Controls>
        requires(sizeof...(Controls) == N)
    ControlArray(Controls&... controls) : controls_{&controls...}
    {
    }
    Control& operator[](std::size_t i) const { return *controls_.at(i); }
    static constexpr std::size_t size() { return N; }

private:
    std::array<Control*, N> controls_;
};

} // namespace gravlag::ui
