// Joining requested names to the root and confining them to it.

#include <gtest/gtest.h>

#include <string>

#include "platform/path.h"
#include "tftp/request_path.h"

using namespace ostrel;

namespace {

// Test paths are written with "/"; the platform may use another separator.
std::string native(std::string p) {
  for (char& c : p)
    if (c == '/') c = platform::path_separator;
  return p;
}

#ifdef _WIN32
const std::string top = "C:";
#else
const std::string top = "";
#endif

struct combine_case {
  const char* folder;
  const char* name;
  const char* expected;  // null: not produced
};

void PrintTo(const combine_case& c, std::ostream* os) { *os << c.folder << " + " << c.name; }

class PathCombine : public ::testing::TestWithParam<combine_case> {};

TEST_P(PathCombine, ResolvesLexically) {
  const auto& c = GetParam();
  auto r = platform::path_combine(native(top + c.folder), native(c.name));
  if (!c.expected) {
    EXPECT_FALSE(r.has_value()) << *r;
    return;
  }
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(*r, native(top + c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PathCombine,
    ::testing::Values(combine_case{"/srv/Root/", "a/b.bin", "/srv/Root/a/b.bin"},
                      combine_case{"/srv/Root", "a.bin", "/srv/Root/a.bin"},
                      combine_case{"/srv/Root/", "sub/../x.bin", "/srv/Root/x.bin"},
                      combine_case{"/srv/Root/", "./a/./b", "/srv/Root/a/b"},
                      combine_case{"/srv/Root/", "../x.bin", "/srv/x.bin"},
                      combine_case{"/srv/Root/", "../../../../x", "/x"},
                      combine_case{"/srv/Root/", "a//b", "/srv/Root/a/b"},
                      combine_case{"/srv/Root/", "...", "/srv/Root/..."},
                      combine_case{"/srv/Root/", "", "/srv/Root/"},
                      combine_case{"/srv/Root/", "sub/", "/srv/Root/sub/"}));

TEST(PathCombine, AnAbsoluteNameReplacesTheFolder) {
  auto r = platform::path_combine(native(top + "/srv/Root/"), native(top + "/etc/passwd"));
  ASSERT_TRUE(r);
  EXPECT_EQ(*r, native(top + "/etc/passwd"));
}

TEST(PathCombine, BothSeparatorsSeparate) {
  auto r = platform::path_combine(native(top + "/srv/Root/"), "a\\b/c");
  ASSERT_TRUE(r);
  EXPECT_EQ(*r, native(top + "/srv/Root/a/b/c"));
}

TEST(PathCombine, AResultLongerThan259CharactersIsNotProduced) {
  std::string folder = native(top + "/srv/Root/");
  std::string fits(259 - folder.size(), 'x');
  EXPECT_TRUE(platform::path_combine(folder, fits));
  EXPECT_FALSE(platform::path_combine(folder, fits + "x"));
}

struct confine_case {
  const char* name;
  const char* expected;  // below the root, or null: refused
};

void PrintTo(const confine_case& c, std::ostream* os) { *os << "name \"" << c.name << "\""; }

class Confinement : public ::testing::TestWithParam<confine_case> {};

TEST_P(Confinement, KeepsEveryServedPathUnderTheWholeRoot) {
  const auto& c = GetParam();
  std::string root = native(top + "/srv/Root/");
  auto r = tftp::confine_to_root(root, c.name);
  if (!c.expected) {
    EXPECT_FALSE(r.has_value()) << c.name << " -> " << *r;
    return;
  }
  ASSERT_TRUE(r.has_value()) << c.name;
  EXPECT_EQ(*r, root + native(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Confinement,
    ::testing::Values(confine_case{"a/b.bin", "a/b.bin"}, confine_case{"/a/b.bin", "a/b.bin"},
                      confine_case{"\\a\\b.bin", "a/b.bin"}, confine_case{"sub/../x.bin", "x.bin"},
                      confine_case{"", ""},  // the root itself: refused later, at the open
                      confine_case{"../x.bin", nullptr}, confine_case{"..\\x.bin", nullptr},
                      confine_case{"..", nullptr}, confine_case{"sub/../../x", nullptr},
                      confine_case{"../Root2/x.bin", nullptr},  // a sibling extending the root's name
                      confine_case{"//etc/passwd", nullptr},    // one leading separator dropped, not two
                      confine_case{"/../x", nullptr}));

#ifndef _WIN32
TEST(Confinement, ComparesCaseSensitivelyOnCaseSensitiveFileSystems) {
  // A sibling folder "root" beside "Root" is another folder here.
  EXPECT_FALSE(tftp::confine_to_root("/srv/Root/", "../root/x.bin"));
  EXPECT_TRUE(tftp::confine_to_root("/srv/Root/", "../Root/x.bin"));
}
#endif

TEST(Confinement, AnEmptyRootConfinesNothing) { EXPECT_FALSE(tftp::confine_to_root("", "x.bin")); }

}  // namespace
