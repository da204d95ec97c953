#include "install/MachOReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>

#include "foundation/FileHelpers.h"
#include "support/MachOWriter.h"

namespace vantor {
namespace {

using testing::MachOWriter;
using Thin = MachOWriter::Thin;

class MachOReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = makeTempDirectory().value(); }
  void TearDown() override { removeItem(folder_); }

  std::string write(const std::string& bytes) {
    std::string path = folder_ + "/exe" + std::to_string(counter_++);
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  std::string folder_;
  int counter_ = 0;
};

Thin thinWith(std::vector<MachOWriter::Command> commands) {
  Thin t;
  t.commands = std::move(commands);
  return t;
}

Thin thin(bool is64Bit, bool bigEndian, std::uint32_t cpu, std::vector<MachOWriter::Command> commands) {
  Thin t = thinWith(std::move(commands));
  t.is64Bit = is64Bit;
  t.bigEndian = bigEndian;
  t.cpuType = cpu;
  return t;
}

TEST_F(MachOReaderTest, ThinFilesInEveryLayout) {
  auto min1013 = MachOWriter::versionMin(10, 13, 0);
  struct Case {
    const char* name;
    Thin file;
    MachOVersion expected;
    const char* command;
  } cases[] = {
      {"64-bit little-endian", thinWith({MachOWriter::filler(0x19, 18), min1013}), {10, 13, 0}, "LC_VERSION_MIN_MACOSX"},
      {"32-bit big-endian", thin(false, true, 18, {MachOWriter::filler(1, 4), MachOWriter::versionMin(10, 4, 11)}),
       {10, 4, 11}, "LC_VERSION_MIN_MACOSX"},
      {"64-bit big-endian", thin(true, true, MachOWriter::kX86_64, {min1013}), {10, 13, 0}, "LC_VERSION_MIN_MACOSX"},
      {"only the first version command counts", thinWith({MachOWriter::versionMin(10, 9, 2), min1013}), {10, 9, 2},
       "LC_VERSION_MIN_MACOSX"},
      {"build version for macOS when there is no version command",
       thinWith({MachOWriter::buildVersion(2, 14, 0, 0), MachOWriter::buildVersion(1, 11, 3, 1)}), {11, 3, 1},
       "LC_BUILD_VERSION"},
      {"a version command wins over an earlier build version",
       thinWith({MachOWriter::buildVersion(1, 12, 0, 0), MachOWriter::versionMin(10, 14, 0)}), {10, 14, 0},
       "LC_VERSION_MIN_MACOSX"},
      {"build version for another platform only", thinWith({MachOWriter::buildVersion(2, 14, 0, 0)}), {}, ""},
      {"no version at all", thinWith({MachOWriter::filler(0x19, 18)}), {}, ""},
  };
  for (const auto& c : cases) {
    auto file = MachOReader::read(write(MachOWriter::thin(c.file)));
    EXPECT_TRUE(file.opened) << c.name;
    EXPECT_FALSE(file.fat) << c.name;
    EXPECT_EQ(file.version, c.expected) << c.name << ": " << file.version.text();
    EXPECT_EQ(file.command, c.command) << c.name;
  }
}

TEST_F(MachOReaderTest, FatFilesLetTheSlicesForThisHostDecide) {
  auto slice = [](std::uint32_t cpu, MachOWriter::Command command) {
    Thin t = thinWith({MachOWriter::filler(0x19, 18), command});
    t.cpuType = cpu;
    return MachOWriter::Slice{MachOWriter::thin(t), cpu, 3, std::nullopt, std::nullopt};
  };
  auto x86_1013 = slice(MachOWriter::kX86_64, MachOWriter::versionMin(10, 13, 0));
  auto x86_1015 = slice(MachOWriter::kX86_64, MachOWriter::buildVersion(1, 10, 15, 0));
  auto x86_1202 = slice(MachOWriter::kX86_64, MachOWriter::buildVersion(1, 12, 0, 2));
  auto i386_1006 = slice(MachOWriter::kI386, MachOWriter::versionMin(10, 6, 0));
  auto arm_1100 = slice(MachOWriter::kARM64, MachOWriter::buildVersion(1, 11, 0, 0));
  auto arm_1200 = slice(MachOWriter::kARM64, MachOWriter::buildVersion(1, 12, 0, 0));

  struct Case {
    const char* name;
    std::vector<MachOWriter::Slice> slices;
    bool bigEndian;
    MachOVersion expected;
  } cases[] = {
      {"universal: the arm64 slice does not raise the x86-64 minimum", {x86_1013, arm_1100}, true, {10, 13, 0}},
      {"arm64 first, x86-64 from a build version", {arm_1200, x86_1015}, true, {10, 15, 0}},
      {"a newer major beats a higher minor", {x86_1015, x86_1202}, true, {12, 0, 2}},
      {"32- and 64-bit Intel: the highest", {i386_1006, x86_1013}, true, {10, 13, 0}},
      {"no Intel slice: all slices count", {arm_1100, arm_1200}, true, {12, 0, 0}},
      {"little-endian fat header", {x86_1013, arm_1100}, false, {10, 13, 0}},
  };
  for (const auto& c : cases) {
    auto file = MachOReader::read(write(MachOWriter::fat(c.slices, c.bigEndian)));
    EXPECT_TRUE(file.fat) << c.name;
    ASSERT_EQ(file.slices.size(), c.slices.size()) << c.name;
    EXPECT_EQ(file.version, c.expected) << c.name << ": " << file.version.text();
  }
  auto file = MachOReader::read(write(MachOWriter::fat({x86_1013, arm_1100})));
  EXPECT_EQ(file.slices[0].architectureName(), "x86_64");
  EXPECT_EQ(file.slices[1].architectureName(), "arm64");
  EXPECT_EQ(file.slices[1].command, "LC_BUILD_VERSION");
}

TEST_F(MachOReaderTest, DamagedFilesGiveZeros) {
  auto good = MachOWriter::thin(thinWith({MachOWriter::versionMin(10, 13, 0)}));
  auto zeroSize = thinWith({MachOWriter::filler(0x19, 2), MachOWriter::versionMin(10, 13, 0)});
  zeroSize.commands[0].sizeOverride = 0;
  auto pastEnd = thinWith({MachOWriter::filler(0x19, 2), MachOWriter::versionMin(10, 13, 0)});
  pastEnd.commands[0].sizeOverride = 0x7FFFFFF0;
  auto shortVersion = thinWith({MachOWriter::versionMin(10, 13, 0)});
  shortVersion.commands[0].sizeOverride = 8;
  shortVersion.commandsSizeOverride = 8;
  auto manyCommands = thinWith({MachOWriter::filler(0x19, 2)});
  manyCommands.commandCountOverride = 0xFFFFFFFF;
  manyCommands.commandsSizeOverride = 0xFFFFFFFF;
  auto beyondDeclaredSize = thinWith({MachOWriter::filler(0x19, 2), MachOWriter::versionMin(10, 13, 0)});
  beyondDeclaredSize.commandsSizeOverride = 16;

  MachOWriter::Slice farSlice{good, MachOWriter::kX86_64, 3, 0xFFFFF000u, std::nullopt};
  MachOWriter::Slice longSlice{good, MachOWriter::kX86_64, 3, std::nullopt, 0xFFFFFFFFu};

  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"magic only", good.substr(0, 4)},
      {"truncated header", good.substr(0, 20)},
      {"truncated inside the version command", good.substr(0, good.size() - 6)},
      {"command size 0", MachOWriter::thin(zeroSize)},
      {"command size past the end", MachOWriter::thin(pastEnd)},
      {"version command too short", MachOWriter::thin(shortVersion)},
      {"2^32 commands declared", MachOWriter::thin(manyCommands)},
      {"version command beyond the declared commands size", MachOWriter::thin(beyondDeclaredSize)},
      {"fat header claiming 2^32 slices", MachOWriter::fat({}, true, 0xFFFFFFFF)},
      {"fat header only", std::string("\xCA\xFE\xBA\xBE", 4)},
      {"slice offset past the end", MachOWriter::fat({farSlice})},
      {"text file", "#!/bin/sh\necho hello\n"},
  };
  for (const auto& c : cases) {
    auto file = MachOReader::read(write(c.bytes));
    EXPECT_TRUE(file.opened) << c.name;
    EXPECT_TRUE(file.version.isZero()) << c.name << ": " << file.version.text();
  }
  // A slice size larger than the file still reads what is there.
  EXPECT_EQ(MachOReader::read(write(MachOWriter::fat({longSlice}))).version, (MachOVersion{10, 13, 0}));
}

TEST_F(MachOReaderTest, AGigabyteExecutableIsNotReadWhole) {
  // Sparse: only the header and the commands occupy the disk.
  auto header = MachOWriter::thin(thinWith({MachOWriter::filler(0x19, 18), MachOWriter::versionMin(10, 15, 0)}));
  std::string path = write(header);
  ASSERT_EQ(::truncate(path.c_str(), 1ll << 30), 0);
  EXPECT_EQ(MachOReader::read(path).version, (MachOVersion{10, 15, 0}));

  // Zeros after a header that declares 2^32 commands filling the whole file.
  auto endless = thinWith({});
  endless.commandCountOverride = 0xFFFFFFFF;
  endless.commandsSizeOverride = 0xFFFFFFFF;
  std::string zeros = write(MachOWriter::thin(endless));
  ASSERT_EQ(::truncate(zeros.c_str(), 1ll << 30), 0);
  EXPECT_TRUE(MachOReader::read(zeros).version.isZero());
}

TEST_F(MachOReaderTest, MissingFilesAndFoldersGiveZeros) {
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(MachOReader::minimumOSVersion(folder_ + "/missing").isZero());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "file could not be opened " + folder_ + "/missing\n");
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(MachOReader::minimumOSVersion(folder_).isZero());
  ::testing::internal::GetCapturedStdout();
  // A FIFO would block the opening reader; it is refused unopened.
  std::string fifo = folder_ + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(MachOReader::read(fifo).opened);
}

}  // namespace
}  // namespace vantor
