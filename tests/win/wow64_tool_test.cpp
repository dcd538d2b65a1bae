// Which tool qibor.spi runs in a 32-bit viewer on 64-bit Windows when its
// settings name no `dir`: the 32-bit tar.exe where one stands in SysWOW64
// (the viewer's System32), else the 64-bit one through Sysnative. The cases
// place the real tool (this program runs once per build of it) in the
// prefix's system folders and take it away again; a 64-bit build skips them.
#include <gtest/gtest.h>

#include <string>

#include "support/plugin_host.h"

namespace qibor::test {
namespace {

constexpr wchar_t kWow64Tool[] = L"C:\\Windows\\SysWOW64\\tar.exe";
constexpr wchar_t kNativeTool[] = L"C:\\Windows\\Sysnative\\tar.exe";

enum class Placed { Nothing, Tool, Junk };

// A tar.exe put in a system folder for one case, never over one already there.
class PlacedTool {
 public:
  PlacedTool(const wchar_t* path, Placed what) : path_(path) {
    if (what == Placed::Tool) {
      placed_ = CopyFileW((RealToolDir() + L"\\tar.exe").c_str(), path, TRUE) != FALSE;
    } else if (what == Placed::Junk) {
      placed_ = GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES;
      if (placed_) WriteBytes(path, "not a program");
    }
  }
  PlacedTool(const PlacedTool&) = delete;
  PlacedTool& operator=(const PlacedTool&) = delete;
  ~PlacedTool() {
    if (placed_) DeleteFileW(path_);
  }
  bool placed() const { return placed_; }

 private:
  const wchar_t* path_;
  bool placed_ = false;
};

bool RunsUnderWow64() {
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

TEST(Wow64Tool, DefaultPathFindsThe32BitToolElseThe64BitOne) {
  if (!RunsUnderWow64()) GTEST_SKIP() << "not a 32-bit process on 64-bit Windows";
  for (const wchar_t* path : {kWow64Tool, kNativeTool}) {
    if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "the system has a tar.exe of its own";
  }
  const struct {
    Placed wow64, native;
    bool dirSet;
    int expected;
  } cases[] = {
      {Placed::Tool, Placed::Junk, false, 0},     // the redirected copy first
      {Placed::Nothing, Placed::Tool, false, 0},  // the 64-bit one otherwise
      {Placed::Nothing, Placed::Nothing, false, -1},
      {Placed::Nothing, Placed::Tool, true, -1},  // a `dir` is used as written
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    const PlacedTool wow64(kWow64Tool, c.wow64);
    const PlacedTool native(kNativeTool, c.native);
    if ((c.wow64 != Placed::Nothing && !wow64.placed()) || (c.native != Placed::Nothing && !native.placed())) {
      GTEST_SKIP() << "cannot write the system folders";
    }
    LoadedPlugin plugin = c.dirSet ? LoadedPlugin({{L"dir", L"C:\\Windows\\System32"}}) : LoadedPlugin(Settings{});
    ASSERT_TRUE(plugin.loaded());
    HLOCAL list = nullptr;
    const int result = plugin.GetArchiveInfoW(FixturePath(L"pictures.tar").c_str(), 0, 0, &list);
    if (c.expected == 0) {
      EXPECT_EQ(result, 0);
      EXPECT_EQ(ListRecords(list).size(), 3u);
    } else {
      EXPECT_NE(result, 0);
    }
    if (list != nullptr) LocalFree(list);
  }
}

}  // namespace
}  // namespace qibor::test
