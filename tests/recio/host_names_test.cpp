// File names through the host layer, on whichever host the tests are built
// for: a UTF-8 name opens, creates and finds the file of exactly that name,
// and a name that only looks like a device (con.sao, lpt1.out) is the file
// of that name on Windows as on Linux.
#include "recio/host/host.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
namespace host = recio::host;

std::string utf8_of(const fs::path &path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

struct Name {
  const char *label;
  std::string utf8;
};

void PrintTo(const Name &c, std::ostream *os) {
  *os << c.label;
}

class HostNames : public ::testing::TestWithParam<Name> {
protected:
  void SetUp() override {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    dir_ = fs::temp_directory_path() / ("vornet-names-" + std::to_string(stamp));
    ASSERT_TRUE(fs::create_directory(dir_));
  }
  void TearDown() override {
    std::error_code ignored;
#ifdef _WIN32
    // A device-like name goes only by the long form, as it came.
    for (const auto &entry : fs::directory_iterator(dir_, ignored))
      fs::remove(fs::path(L"\\\\?\\" + entry.path().wstring()), ignored);
#endif
    fs::remove_all(dir_, ignored);
  }
  fs::path dir_;
};

TEST_P(HostNames, CreateOpenAndFindTheFileOfThatName) {
  const std::string name = GetParam().utf8;
  const std::string path = utf8_of(dir_) + "/" + name;
  host::OpenFailure failure = host::OpenFailure::other;
  const host::Handle created =
      host::open_file(path.c_str(), host::Access::read_write, true, false, failure);
  ASSERT_GE(created, 0);
  EXPECT_TRUE(host::write_all(created, "record\n", 7));
  host::FileFacts by_handle, by_name;
  ASSERT_TRUE(host::facts_of(created, by_handle));
  EXPECT_TRUE(by_handle.is_regular) << "not a file: a device?";
  EXPECT_TRUE(host::close(created));

  // The directory holds the one file, under the name given.
  std::vector<std::string> names;
  for (const auto &entry : fs::directory_iterator(dir_))
    names.push_back(utf8_of(entry.path().filename()));
  EXPECT_EQ(names, std::vector<std::string>{name});

  ASSERT_TRUE(host::facts_of(path.c_str(), by_name));
  EXPECT_TRUE(by_name.is_regular);
  EXPECT_EQ(by_name.identity, by_handle.identity);
  const host::Handle again =
      host::open_file(path.c_str(), host::Access::read_only, false, false, failure);
  ASSERT_GE(again, 0);
  char text[16] = {};
  EXPECT_EQ(host::read(again, text, sizeof text), 7);
  EXPECT_EQ(std::string(text), "record\n");
  host::close(again);
}

INSTANTIATE_TEST_SUITE_P(
    Names, HostNames,
    ::testing::Values(Name{"Cyrillic", "Тромсё.SAO"}, Name{"Accented", "Jülich station.SAO"},
                      Name{"Czech", "Průhonice.SAO"}, Name{"Cjk", "武汉.SAO"},
                      Name{"BeyondTheFirstPlane", "\xf0\x9f\x8c\x8d.SAO"},
                      Name{"ConsoleWithExtension", "con.sao"}, Name{"PrinterFile", "lpt1.out"},
                      Name{"SerialWithExtension", "aux.sao"}, Name{"NullBare", "nul"},
                      Name{"SecondSerialWithExtension", "com2.log"}),
    [](const auto &info) { return std::string(info.param.label); });

#ifdef _WIN32
// What cannot be a name on Windows never reaches another file: a name that
// is not UTF-8, a lone surrogate kept as its bytes, a path longer than the
// system takes.
TEST(HostNamesOnWindows, NamesTheSystemCannotTakeAreInvalid) {
  const fs::path dir = fs::temp_directory_path();
  for (const std::string &name : {std::string("J\xfclich.SAO"), std::string("a\xed\xa0\xbd.SAO"),
                                  std::string(40000, 'n'), std::string("*.SAO")}) {
    const std::string path = utf8_of(dir) + "\\" + name;
    host::OpenFailure failure = host::OpenFailure::none;
    EXPECT_EQ(host::open_file(path.c_str(), host::Access::read_write, true, false, failure),
              host::kNoHandle);
    EXPECT_EQ(failure, host::OpenFailure::invalid_argument) << name.substr(0, 20);
    host::FileFacts facts;
    EXPECT_FALSE(host::facts_of(path.c_str(), facts));
  }
}
#endif

} // namespace
