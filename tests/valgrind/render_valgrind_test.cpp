// lumenfall-render under valgrind's memcheck: a short render of each text set to PNG
// and to GIF, the other depths and outputs, and the failure paths, each without an
// invalid access, an undefined value or a leak.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "valgrind_support.h"

namespace lumenfall::vgtest {
namespace {

std::string Work() { return LUMENFALL_VALGRIND_WORK; }

#define REQUIRE_VALGRIND() REQUIRE_TOOL(HaveValgrind(), "valgrind is not installed (Debian package: valgrind)")

// Renders under valgrind; expects the exit code and a clean report.
void Render(const std::string& name, std::vector<std::string> arguments, int expectedExit) {
  SCOPED_TRACE(name);
  mkdir(Work().c_str(), 0755);
  const std::string log = Work() + "/" + name + ".valgrind.log";
  std::vector<std::string> command = {LUMENFALL_PROGRAM};
  command.insert(command.end(), arguments.begin(), arguments.end());
  const int code = RunToEnd(UnderValgrind(log, command), {}, 180000);
  const std::string report = ReadFile(log);
  EXPECT_EQ(Problems(report), "") << "see " << log;
  EXPECT_EQ(code, expectedExit) << "see " << log;
}

// 8 frames of 800 ms reach the first line's fade-in, so that text, blur and zoom all run.
std::vector<std::string> Frames(const char* set) {
  return {"--text-set", set, "--frames", "8", "--tick-ms", "800"};
}

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(RendererUnderValgrind, EachSetToPngAndGif) {
  REQUIRE_VALGRIND();
  for (const char* set : {"malachi-red", "deep-blue"}) {
    const std::string stem = Work() + "/" + set;
    Render(std::string(set) + "-png", Join(Frames(set), {"--every", "8", "--out", stem + ".png"}), 0);
    Render(std::string(set) + "-gif",
           Join(Frames(set), {"--every", "4", "--size", "200x150", "--out", stem + ".gif"}), 0);
    struct stat st{};
    EXPECT_EQ(stat((stem + ".png").c_str(), &st), 0);
    EXPECT_GT(st.st_size, 1000) << "the PNG holds a picture";
    EXPECT_EQ(stat((stem + ".gif").c_str(), &st), 0);
    EXPECT_GT(st.st_size, 1000) << "the GIF holds two frames";
  }
}

TEST(RendererUnderValgrind, OtherDepthsAndOutputs) {
  REQUIRE_VALGRIND();
  Render("depth8-gif", Join(Frames("malachi-red"), {"--depth", "8", "--every", "8", "--size", "200x150",
                                                    "--out", Work() + "/d8.gif"}), 0);
  Render("depth16-rough-png", Join(Frames("deep-blue"), {"--depth", "16", "--layout", "555", "--low-quality",
                                                         "--every", "8", "--out", Work() + "/d16.png"}), 0);
  Render("depth24-y4m", Join(Frames("deep-blue"), {"--depth", "24", "--every", "4", "--out", Work() + "/d24.y4m"}), 0);
}

TEST(RendererUnderValgrind, FailuresEndCleanly) {
  REQUIRE_VALGRIND();
  // An output that cannot be created, for each writer; a refused option; the texts.
  for (const char* out : {"/nonexistent-lumenfall/x.png", "/nonexistent-lumenfall/x.gif",
                          "/nonexistent-lumenfall/x.y4m", "/nonexistent-lumenfall/x.raw"}) {
    const std::string name = std::string("unwritable") + std::strrchr(out, '.');
    Render(name, {"--text-set", "deep-blue", "--frames", "1", "--out", out}, 1);
  }
  Render("bad-option", {"--frames", "0", "--out", Work() + "/never.png"}, 2);
  Render("list-lines", {"--list-lines", "--text-set", "deep-blue"}, 0);
}

}  // namespace
}  // namespace lumenfall::vgtest
