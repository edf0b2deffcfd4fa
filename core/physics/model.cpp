#include "core/physics/model.h"

namespace gravlag {

namespace {
constexpr std::pair<ForceLaw, std::string_view> kLaws[] = {
    {ForceLaw::Retarded, "retarded"},
    {ForceLaw::Instantaneous, "instantaneous"},
    {ForceLaw::AberrationFree, "aberration-free"},
    {ForceLaw::PostNewtonian1, "1pn"},
};
constexpr std::pair<Integrator, std::string_view> kIntegrators[] = {
    {Integrator::Euler, "euler"},
    {Integrator::Reference, "reference"},
};
} // namespace

std::string_view ForceLawName(ForceLaw law)
{
    for (const auto& [l, name] : kLaws)
        if (l == law)
            return name;
    return "retarded";
}

std::optional<ForceLaw> ForceLawNamed(std::string_view name)
{
    for (const auto& [l, n] : kLaws)
        if (n == name)
            return l;
    return std::nullopt;
}

std::string_view IntegratorName(Integrator integrator)
{
    for (const auto& [i, name] : kIntegrators)
        if (i == integrator)
            return name;
    return "euler";
}

std::optional<Integrator> IntegratorNamed(std::string_view name)
{
    for (const auto& [i, n] : kIntegrators)
        if (n == name)
            return i;
    return std::nullopt;
}

} // namespace gravlag
