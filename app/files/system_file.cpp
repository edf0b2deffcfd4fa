#include "app/files/system_file.h"

#include <cmath>
#include <set>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/files/small_file.h"
#include "core/physics/make_integration.h"

namespace gravlag {

namespace {

// A finite JSON number under `key`, or a problem naming it.
std::optional<double> Number(const nlohmann::json& object, const std::string& key,
                             const std::string& where, std::string& problem)
{
    const auto it = object.find(key);
    if (it == object.end()) {
        problem = where + "key \"" + key + "\" missing";
        return std::nullopt;
    }
    if (!it->is_number() || !std::isfinite(it->get<double>())) {
        problem = where + "key \"" + key + "\" must be a finite number";
        return std::nullopt;
    }
    return it->get<double>();
}

bool OnlyKeys(const nlohmann::json& object, std::initializer_list<const char*> known,
              const std::string& where, std::string& problem)
{
    for (const auto& [key, value] : object.items()) {
        bool found = false;
        for (const char* k : known)
            found = found || key == k;
        if (!found) {
            problem = where + "unknown key \"" + key + "\"";
            return false;
        }
    }
    return true;
}

// A key given twice in one object: the parser would keep the last and drop the first
// silently, so the file is refused instead.
struct RepeatedKey {
    std::string key;
};

} // namespace

std::optional<System> ParseSystemFile(std::string_view text, std::string& problem)
{
    nlohmann::json j;
    std::vector<std::set<std::string>> keysSeen; // one set per object open
    const auto checkKeys = [&](int, nlohmann::json::parse_event_t event, nlohmann::json& parsed) {
        using Event = nlohmann::json::parse_event_t;
        if (event == Event::object_start)
            keysSeen.emplace_back();
        else if (event == Event::object_end)
            keysSeen.pop_back();
        else if (event == Event::key && !keysSeen.back().insert(parsed.get<std::string>()).second)
            throw RepeatedKey{parsed.get<std::string>()};
        return true;
    };
    try {
        j = nlohmann::json::parse(text.begin(), text.end(), checkKeys);
    } catch (const RepeatedKey& repeated) {
        problem = "key \"" + repeated.key + "\" given twice in one object";
        return std::nullopt;
    } catch (const nlohmann::json::out_of_range&) {
        problem = "a number beyond the range of a double";
        return std::nullopt;
    } catch (const nlohmann::json::exception& e) {
        problem = std::string("broken JSON: ") + e.what();
        return std::nullopt;
    }
    if (!j.is_object()) {
        problem = "the file must hold one JSON object: {\"c\": ..., \"bodies\": [...]}";
        return std::nullopt;
    }
    if (!OnlyKeys(j, {"c", "bodies"}, "", problem))
        return std::nullopt;
    System system;
    const std::optional<double> c = Number(j, "c", "", problem);
    if (!c)
        return std::nullopt;
    if (!(*c >= 0)) {
        problem = "key \"c\" must be 0 (instantaneous) or more";
        return std::nullopt;
    }
    system.c = *c;
    const auto bodies = j.find("bodies");
    if (bodies == j.end() || !bodies->is_array() || bodies->empty() || bodies->size() > kMaxBodies) {
        problem = "key \"bodies\" must be a list of 1 to " + std::to_string(kMaxBodies) + " bodies";
        return std::nullopt;
    }
    for (std::size_t i = 0; i < bodies->size(); ++i) {
        const nlohmann::json& b = (*bodies)[i];
        const std::string where = "body " + std::to_string(i + 1) + ": ";
        if (!b.is_object()) {
            problem = where + "must be an object {\"m\", \"x\", \"y\", \"vx\", \"vy\"}";
            return std::nullopt;
        }
        if (!OnlyKeys(b, {"m", "x", "y", "vx", "vy"}, where, problem))
            return std::nullopt;
        Body body;
        for (auto [key, field] : {std::pair{"m", &body.m}, std::pair{"x", &body.x},
                                  std::pair{"y", &body.y}, std::pair{"vx", &body.vx},
                                  std::pair{"vy", &body.vy}}) {
            const std::optional<double> v = Number(b, key, where, problem);
            if (!v)
                return std::nullopt;
            *field = *v;
        }
        if (!(body.m > 0)) {
            problem = where + "key \"m\" must be a mass > 0";
            return std::nullopt;
        }
        system.bodies.push_back(body);
    }
    return system;
}

std::optional<System> LoadSystemFile(const std::string& path, std::string& problem)
{
    std::string text;
    if (!ReadSmallFile(path, kMaxSystemFileBytes, "a system file", text, problem))
        return std::nullopt;
    std::optional<System> system = ParseSystemFile(text, problem);
    if (!system)
        problem = path + ": " + problem;
    return system;
}

} // namespace gravlag
