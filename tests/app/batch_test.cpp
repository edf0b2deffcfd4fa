// The batch runner end to end: what it prints, its exit status, its files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string_view>

#include <nlohmann/json.hpp>
#include <png.h>

#include "app/batch/batch_cli.h"
#include "app/batch/batch_outputs.h"
#include "app/batch/batch_run.h"
#include "app/files/png_writer.h"
#include "panel/program.h"
#include "ui/headless/headless_services.h"
#include "scratch_folder.h"

using gravlag::BatchOptions;
using gravlag::RunBatch;

namespace {

struct Outcome {
    int status;
    nlohmann::json json;
    std::string err;
};

Outcome RunJson(BatchOptions o)
{
    o.json = true;
    std::ostringstream out, err;
    const int status = RunBatch(o, out, err);
    return {status, nlohmann::json::parse(out.str()), err.str()};
}

BatchOptions Typed(std::vector<std::pair<std::string, std::string>> typed)
{
    BatchOptions o;
    o.typed = std::move(typed);
    return o;
}

void ExpectAllFinite(const nlohmann::json& j)
{
    for (const char* key : {"x", "y", "vx", "vy"})
        for (const auto& v : j[key])
            EXPECT_TRUE(std::isfinite(v.get<double>())) << key;
    for (const auto& [name, text] : j["boxes"].items()) {
        const std::string t = text.get<std::string>();
        EXPECT_EQ(t.find("inf"), std::string::npos) << name;
        EXPECT_EQ(t.find("nan"), std::string::npos) << name;
    }
}

} // namespace

TEST(Batch, DefaultsComplete)
{
    const Outcome r = RunJson(Typed({{"Titer", "20000"}}));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.json["ended"], "completed");
    EXPECT_EQ(r.json["passes"], 20001);
    EXPECT_EQ(r.json["lastPass"], 20000);
    EXPECT_EQ(r.json["boxes"]["Titer1"], "20000");
    EXPECT_EQ(r.json["boxes"]["Tc"], " 0");
    EXPECT_TRUE(r.json["fitA"].is_null());
    EXPECT_FALSE(r.json.contains("message"));
    ExpectAllFinite(r.json);
}

TEST(Batch, TypedLikeAPerson)
{
    const BatchOptions o =
        Typed({{"Tn_object", "5"}, {"Tmass(2)", "0,02"}, {"Tc", "700"}, {"Titer", "0"}});
    const Outcome r = RunJson(o);
    EXPECT_EQ(r.json["boxes"]["Tn_object"], "3");
    EXPECT_EQ(r.json["boxes"]["Tmass(2)"], "0.02");
    // Pass 0 only: bodies 2 and 3 are 12 and 24 from body 1, 17.1 and 34.3 times c * dt.
    EXPECT_EQ(r.json["delay21"], 17);
    EXPECT_EQ(r.json["delay31"], 34);
    std::ostringstream out, err;
    RunBatch(o, out, err);
    EXPECT_NE(out.str().find("\nt 21 17   t 31 34\n"), std::string::npos) << out.str();
}

TEST(Batch, MercuryFitsTheApsides)
{
    BatchOptions o;
    o.scenario = "Mercury";
    const gravlag::testing::ScratchFolder dir("batch");
    o.apsisCsv = dir / "apsis.csv";
    const Outcome r = RunJson(o);
    EXPECT_EQ(r.status, 0);
    EXPECT_GT(r.json["apsisCount"].get<int>(), 100);
    EXPECT_NEAR(r.json["fitA"].get<double>(), 45, 0.1);
    std::ifstream csv(o.apsisCsv);
    std::string line;
    std::getline(csv, line);
    EXPECT_EQ(line, "k,apsisCount,apsisAngle,fitA,fitB,predAngle");
    int rows = 0;
    double lastPred = 0;
    while (std::getline(csv, line)) {
        ++rows;
        lastPred = std::stod(line.substr(line.rfind(',') + 1));
    }
    EXPECT_EQ(rows, r.json["apsisCount"].get<int>());
    EXPECT_EQ(lastPred, r.json["predAngle"].get<double>()); // written exactly
}

TEST(Batch, StopAt)
{
    BatchOptions o = Typed({});
    o.stopAt = 1234;
    const Outcome r = RunJson(o);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.json["ended"], "stopped");
    EXPECT_EQ(r.json["lastPass"], 1300);
    EXPECT_EQ(r.json["boxes"]["Titer1"], "1300");
}

TEST(Batch, RefusalsAndFaults)
{
    struct Case {
        std::vector<std::pair<std::string, std::string>> typed;
        int status;
        const char* ended;
        const char* fragment;
    };
    const Case cases[] = {
        {{{"Tmass(1)", "-100"}}, 2, "refused", "Mass 1"},
        {{{"Dx1", "0"}}, 2, "refused", "r  m(2)"},
        {{{"Titer", "many"}}, 2, "refused", "Iteration"},
        {{{"Tpredsel", "?"}}, 2, "refused", "Prediction"},
        {{{"Tn_object", ""}}, 2, "refused", "n object"},
        {{{"Tdt", "1e300"}}, 3, "fault", "Pass 0"},
        {{{"Tc", "1e-310"}, {"Tpredsel", "1"}}, 3, "fault", "Pass 0"},
        {{{"Tmass(0)", "1e308"}, {"Tmass(1)", "1e308"}}, 2, "refused", "overflow"},
    };
    for (const Case& c : cases) {
        const Outcome r = RunJson(Typed(c.typed));
        EXPECT_EQ(r.status, c.status) << c.typed[0].first;
        EXPECT_EQ(r.json["ended"], c.ended) << c.typed[0].first;
        EXPECT_NE(r.json["message"].get<std::string>().find(c.fragment), std::string::npos)
            << r.json["message"];
        EXPECT_NE(r.err.find(c.fragment), std::string::npos);
        ExpectAllFinite(r.json);
        // The text summary: a refused run changed nothing and shows only why; a fault shows
        // the state of its last pass.
        std::ostringstream out, err;
        EXPECT_EQ(RunBatch(Typed(c.typed), out, err), c.status);
        if (c.status == 2)
            EXPECT_EQ(out.str(), "Run refused: " + r.json["message"].get<std::string>() + "\n");
        else
            EXPECT_NE(out.str().find("\nbody 1: x "), std::string::npos) << out.str();
    }
}

namespace {

// A PNG file as libpng reads it back: every pixel, the resolution and its unit.
struct DecodedPng {
    bool ok = false;
    int width = 0, height = 0, colorType = -1, bitDepth = 0;
    png_uint_32 resX = 0, resY = 0;
    int resUnit = -1;
    std::vector<gravlag::ui::Rgb> pixels;
};

void ReadBytes(png_structp png, png_bytep data, png_size_t length)
{
    auto* rest = static_cast<std::string_view*>(png_get_io_ptr(png));
    if (rest->size() < length)
        png_error(png, "truncated");
    std::copy_n(rest->data(), length, data);
    rest->remove_prefix(length);
}

DecodedPng DecodePng(std::string_view bytes)
{
    DecodedPng d;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return {}; // a broken file: d may be half filled
    }
    png_set_read_fn(png, &bytes, ReadBytes);
    png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    d.width = static_cast<int>(png_get_image_width(png, info));
    d.height = static_cast<int>(png_get_image_height(png, info));
    d.colorType = png_get_color_type(png, info);
    d.bitDepth = png_get_bit_depth(png, info);
    png_get_pHYs(png, info, &d.resX, &d.resY, &d.resUnit);
    if (d.colorType == PNG_COLOR_TYPE_RGB && d.bitDepth == 8) {
        png_bytepp rows = png_get_rows(png, info);
        for (int y = 0; y < d.height; ++y)
            for (int x = 0; x < d.width; ++x) {
                const png_byte* p = rows[y] + 3 * x;
                d.pixels.push_back({p[0], p[1], p[2]});
            }
        d.ok = true;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return d;
}

std::string ReadFile(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(Batch, PicturesArePixelForPixelTheWindowsAt96Dpi)
{
    BatchOptions o = Typed({{"Titer", "3000"}, {"Tc", "50000"}});
    const gravlag::testing::ScratchFolder dir("batch");
    o.simPng = dir / "sim.png";
    o.plotPng = dir / "plot.png";
    EXPECT_EQ(RunJson(o).status, 0);

    // The same run on windows of the test's own: what the files must hold.
    gravlag::ui::HeadlessServices services;
    gravlag::Program program(services);
    for (const auto& [box, text] : o.typed)
        services.textBox(box)->type(text);
    services.button("CommandCalc")->click();

    for (const auto& [file, window] : {std::pair{o.simPng, "Form2"}, std::pair{o.plotPng, "Form3"}}) {
        const gravlag::ui::Surface& drawn = services.window(window)->surface();
        ASSERT_NE(std::count(drawn.pixels.begin(), drawn.pixels.end(), gravlag::ui::kBackground),
                  static_cast<std::ptrdiff_t>(drawn.pixels.size())) << window << " has a drawing";
        const std::string bytes = ReadFile(file);
        const DecodedPng png = DecodePng(bytes);
        ASSERT_TRUE(png.ok) << file;
        EXPECT_EQ(png.width, drawn.width) << file;
        EXPECT_EQ(png.height, drawn.height) << file;
        EXPECT_TRUE(png.pixels == drawn.pixels) << file;
        EXPECT_EQ(png.resX, 3780u) << file; // 96 dots per inch
        EXPECT_EQ(png.resY, 3780u) << file;
        EXPECT_EQ(png.resUnit, PNG_RESOLUTION_METER) << file;
        // The bytes are the encoder's: the desktop program's "Save image…" writes the same.
        EXPECT_TRUE(bytes == gravlag::EncodePng(drawn)) << file;
    }

    o.simPng = "/nonexistent-dir/x.png";
    std::ostringstream out, err;
    EXPECT_EQ(RunBatch(o, out, err), 2);
    EXPECT_NE(err.str().find("--sim-png"), std::string::npos);
}

TEST(Batch, CasesKeptOnPurpose)
{
    // "Prediction" other than 1 is the velocity estimate; c at or below 0 an instantaneous
    // pull; "n object" is kept between 2 and 3 as it is typed.
    const auto positions = [](std::vector<std::pair<std::string, std::string>> typed) {
        typed.emplace_back("Titer", "3000");
        const nlohmann::json j = RunJson(Typed(typed)).json;
        EXPECT_EQ(j["ended"], "completed");
        return j["x"].dump() + j["y"].dump();
    };
    const std::string velocity = positions({{"Tc", "600"}, {"Tpredsel", "0"}});
    EXPECT_EQ(positions({{"Tc", "600"}, {"Tpredsel", "2"}}), velocity);
    EXPECT_EQ(positions({{"Tc", "600"}, {"Tpredsel", "-1"}}), velocity);
    EXPECT_NE(positions({{"Tc", "600"}, {"Tpredsel", "1"}}), velocity);
    const std::string instantaneous = positions({{"Tc", "0"}});
    EXPECT_EQ(positions({{"Tc", "-5"}}), instantaneous);
    EXPECT_NE(velocity, instantaneous);
    EXPECT_EQ(positions({{"Tn_object", "7"}}), instantaneous); // three bodies, as the default
    EXPECT_EQ(positions({{"Tn_object", "1"}}), positions({{"Tn_object", "2"}}));
}

// The parser is made once on each thread and read again: a command line keeps nothing of the
// one read before it, whether that one was taken or refused.
TEST(Batch, ACommandLineKeepsNothingOfTheLast)
{
    const auto read = [](std::vector<std::string> arguments) {
        gravlag::BatchProblem problem;
        std::optional<gravlag::BatchCommand> command = gravlag::ParseBatchCommand(arguments, problem);
        EXPECT_TRUE(command) << problem.message;
        return command.value_or(gravlag::BatchCommand{});
    };
    const gravlag::BatchCommand full = read(
        {"--json", "--report", "--budget", "--converge", "--as-typed", "--c=5", "--dt=0.5", "--stop-at=7",
         "--every=3", "--apsis-csv=a.csv", "--sim-png=s.png", "--plot-png=p.png", "--distance-csv=d.csv",
         "--trajectory-csv=t.csv", "--elements-csv=e.csv", "--sweep=mass3=1;2", "--jobs=3", "--lanes=1",
         "--integrator=reference", "--force-law=instantaneous", "--tolerance=1e-9"});
    ASSERT_TRUE(full.sweep);
    ASSERT_EQ(gravlag::OutputPaths(full.options).size(), 6u); // every file option was read
    gravlag::BatchProblem refused;
    EXPECT_FALSE(gravlag::ParseBatchCommand({"--json", "--c=abc"}, refused));

    const gravlag::BatchCommand bare = read({"--scenario=Mercury"});
    const BatchOptions& o = bare.options;
    EXPECT_FALSE(o.json || o.report || o.budget || o.converge);
    EXPECT_EQ(o.reading, gravlag::TextReading::Strict);
    EXPECT_TRUE(o.typed.empty());
    EXPECT_FALSE(o.stopAt || o.every || o.duration || o.integrator || o.forceLaw || o.tolerance || o.params);
    EXPECT_TRUE(gravlag::OutputPaths(o).empty());
    EXPECT_FALSE(bare.sweep || bare.system);
    const gravlag::BatchCommand fresh = read({});
    EXPECT_EQ(bare.settings.jobs, fresh.settings.jobs);
    EXPECT_EQ(bare.settings.lanes, fresh.settings.lanes);
}
