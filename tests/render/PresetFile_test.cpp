#include "render/PresetFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace tolvane {
namespace render {
namespace {

using Bytes = std::vector<uint8_t>;

void SetBe32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// Files assembled by hand, field by field, independently of the writer.
struct Builder {
  Bytes b;
  Builder& U32(uint32_t v) {
    b.resize(b.size() + 4);
    SetBe32(b, b.size() - 4, v);
    return *this;
  }
  Builder& Tag(const char* four) {
    b.insert(b.end(), four, four + 4);
    return *this;
  }
  Builder& F32(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return U32(u);
  }
  Builder& Raw(const Bytes& x, size_t padTo = 0) {
    b.insert(b.end(), x.begin(), x.end());
    if (b.size() < padTo) b.resize(padTo, 0);
    return *this;
  }
  // The record is done: its byte size field counts what follows it.
  Bytes Done() {
    SetBe32(b, 4, static_cast<uint32_t>(b.size() - 8));
    return b;
  }
};

Bytes Header(const char* type, const char* id, uint32_t fxVersion, uint32_t count) {
  Builder r;
  r.Tag("CcnK").U32(0).Tag(type).U32(1).Tag(id).U32(fxVersion).U32(count);
  return r.b;
}

Bytes ParamProgram(const std::vector<float>& values, const char* id = "Tlvn",
                   const std::string& name = "Warm") {
  Builder r{Header("FxCk", id, 1000, static_cast<uint32_t>(values.size()))};
  r.Raw(Bytes(name.begin(), name.end()), 56);
  for (float v : values) r.F32(v);
  return r.Done();
}

Bytes ChunkProgram(const Bytes& chunk) {
  Builder r{Header("FPCh", "Tlvn", 7, 12)};
  r.Raw({'C', 'h', 'u', 'n', 'k', 'y'}, 56).U32(static_cast<uint32_t>(chunk.size())).Raw(chunk);
  return r.Done();
}

Bytes BankHeader(const char* type, uint32_t version, uint32_t count, uint32_t current) {
  Builder r{Header(type, "Tlvn", 1000, count)};
  SetBe32(r.b, 12, version);
  if (version == 2) r.U32(current);
  r.Raw({}, 156);
  return r.b;
}

Bytes ParamBank(uint32_t version, const std::vector<Bytes>& programs, uint32_t current = 0) {
  Builder r{BankHeader("FxBk", version, static_cast<uint32_t>(programs.size()), current)};
  for (const Bytes& p : programs) r.Raw(p);
  return r.Done();
}

Bytes ChunkBank(const Bytes& chunk, uint32_t count, uint32_t current) {
  Builder r{BankHeader("FBCh", 2, count, current)};
  r.U32(static_cast<uint32_t>(chunk.size())).Raw(chunk);
  return r.Done();
}

const int32_t kTlvn = 0x546C766E;

TEST(PresetFileTest, ProgramsReadAsTheLayoutSaysAndWriteBackByteForByte) {
  const Bytes params = ParamProgram({0.16f, 0.87f, 0.5f, 1.0f, 0.0f, 0.5f, 0.5f});
  ASSERT_EQ(params.size(), 56u + 7 * 4);
  auto r = PresetFile::ReadProgram(params.data(), params.size());
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_FALSE(r.value.isChunk);
  EXPECT_EQ(r.value.version, 1);
  EXPECT_EQ(r.value.fxID, kTlvn);
  EXPECT_EQ(r.value.fxVersion, 1000);
  EXPECT_EQ(r.value.numParams, 7);
  EXPECT_EQ(r.value.name, "Warm");
  EXPECT_EQ(r.value.params, (std::vector<float>{0.16f, 0.87f, 0.5f, 1.0f, 0.0f, 0.5f, 0.5f}));
  Bytes written;
  ASSERT_TRUE(PresetFile::WriteProgram(r.value, written));
  EXPECT_EQ(written, params);

  const Bytes chunk = ChunkProgram({9, 8, 7, 0, 255});
  r = PresetFile::ReadProgram(chunk.data(), chunk.size());
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(r.value.isChunk);
  EXPECT_EQ(r.value.numParams, 12);  // the plug-in's count, kept though no values follow
  EXPECT_EQ(r.value.fxVersion, 7);
  EXPECT_EQ(r.value.name, "Chunky");
  EXPECT_EQ(r.value.chunk, (Bytes{9, 8, 7, 0, 255}));
  ASSERT_TRUE(PresetFile::WriteProgram(r.value, written));
  EXPECT_EQ(written, chunk);
}

TEST(PresetFileTest, BanksReadAsTheLayoutSaysAndWriteBackByteForByte) {
  const Bytes v1 = ParamBank(1, {ParamProgram({0.25f}, "Tlvn", "A"), ParamProgram({0.75f})});
  auto r = PresetFile::ReadBank(v1.data(), v1.size());
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_FALSE(r.value.isChunk);
  EXPECT_EQ(r.value.version, 1);
  EXPECT_EQ(r.value.fxID, kTlvn);
  EXPECT_EQ(r.value.numPrograms, 2);
  EXPECT_EQ(r.value.currentProgram, 0);
  ASSERT_EQ(r.value.programs.size(), 2u);
  EXPECT_EQ(r.value.programs[0].name, "A");
  EXPECT_EQ(r.value.programs[1].params, std::vector<float>{0.75f});
  Bytes written;
  ASSERT_TRUE(PresetFile::WriteBank(r.value, written));
  EXPECT_EQ(written, v1);

  const Bytes v2 = ParamBank(2, {ParamProgram({0.0f}), ParamProgram({1.0f}), ParamProgram({})}, 2);
  r = PresetFile::ReadBank(v2.data(), v2.size());
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.value.currentProgram, 2);
  ASSERT_TRUE(PresetFile::WriteBank(r.value, written));
  EXPECT_EQ(written, v2);

  const Bytes chunk = ChunkBank({1, 2, 3}, 16, 5);
  r = PresetFile::ReadBank(chunk.data(), chunk.size());
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(r.value.isChunk);
  EXPECT_EQ(r.value.numPrograms, 16);
  EXPECT_EQ(r.value.currentProgram, 5);
  EXPECT_EQ(r.value.chunk, (Bytes{1, 2, 3}));
  ASSERT_TRUE(PresetFile::WriteBank(r.value, written));
  EXPECT_EQ(written, chunk);
}

TEST(PresetFileTest, WrittenRecordsReadBackEqual) {
  FxProgram p;
  p.fxID = -5;
  p.fxVersion = 0x7FFFFFFF;
  p.version = 2;
  p.name = std::string(28, 'n');  // a full field, no terminator
  p.params = {0.0f, std::numeric_limits<float>::denorm_min(), 1.0f};
  p.numParams = 3;
  Bytes bytes;
  ASSERT_TRUE(PresetFile::WriteProgram(p, bytes));
  auto r = PresetFile::ReadProgram(bytes.data(), bytes.size());
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.value, p);

  // Names longer than their field are cut, and end at a zero byte.
  p.name = std::string(40, 'x');
  ASSERT_TRUE(PresetFile::WriteProgram(p, bytes));
  EXPECT_EQ(PresetFile::ReadProgram(bytes.data(), bytes.size()).value.name, std::string(28, 'x'));
  p.name = std::string("ab\0cd", 5);
  ASSERT_TRUE(PresetFile::WriteProgram(p, bytes));
  EXPECT_EQ(PresetFile::ReadProgram(bytes.data(), bytes.size()).value.name, "ab");

  FxBank bank;
  bank.isChunk = true;
  bank.version = 1;
  bank.fxID = 42;
  bank.numPrograms = 3;
  bank.chunk.assign(70000, 0xAB);
  ASSERT_TRUE(PresetFile::WriteBank(bank, bytes));
  auto rb = PresetFile::ReadBank(bytes.data(), bytes.size());
  ASSERT_TRUE(rb.ok) << rb.error;
  EXPECT_EQ(rb.value, bank);
}

TEST(PresetFileTest, EveryTruncationIsRefused) {
  const std::vector<Bytes> programs = {ParamProgram({0.5f, 0.25f}), ChunkProgram({1, 2, 3, 4})};
  for (const Bytes& file : programs) {
    for (size_t n = 0; n < file.size(); ++n) {
      const auto r = PresetFile::ReadProgram(file.data(), n);
      EXPECT_FALSE(r.ok) << n;
      EXPECT_FALSE(r.error.empty());
      if (n >= 8) {
        EXPECT_NE(r.error.find("truncated"), std::string::npos) << n << r.error;
      }
    }
  }
  const std::vector<Bytes> banks = {ParamBank(2, {ParamProgram({0.5f}), ParamProgram({})}),
                                    ChunkBank({5, 6}, 2, 1)};
  for (const Bytes& file : banks) {
    for (size_t n = 0; n < file.size(); ++n) {
      const auto r = PresetFile::ReadBank(file.data(), n);
      EXPECT_FALSE(r.ok) << n;
      if (n >= 8) {
        EXPECT_NE(r.error.find("truncated"), std::string::npos) << n << r.error;
      }
    }
  }
  // A nested record cut short inside a bank whose own size still fits.
  Bytes bank = ParamBank(1, {ParamProgram({0.5f, 0.5f})});
  bank.resize(bank.size() - 4);
  SetBe32(bank, 4, static_cast<uint32_t>(bank.size() - 8));
  const auto r = PresetFile::ReadBank(bank.data(), bank.size());
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("program 0 of the bank"), std::string::npos) << r.error;
}

TEST(PresetFileTest, WrongMagicsAreNamed) {
  Bytes file = ParamProgram({0.5f});
  std::memcpy(file.data(), "RIFF", 4);
  auto r = PresetFile::ReadProgram(file.data(), file.size());
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("'RIFF'"), std::string::npos) << r.error;
  EXPECT_NE(r.error.find("'CcnK'"), std::string::npos) << r.error;

  file = ParamProgram({0.5f});
  std::memcpy(file.data() + 8, "FxZZ", 4);
  r = PresetFile::ReadProgram(file.data(), file.size());
  EXPECT_NE(r.error.find("unknown program type 'FxZZ'"), std::string::npos) << r.error;

  const Bytes bank = ParamBank(2, {ParamProgram({0.5f})});
  r = PresetFile::ReadProgram(bank.data(), bank.size());
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("bank"), std::string::npos) << r.error;
  const Bytes program = ParamProgram({0.5f});
  auto rb = PresetFile::ReadBank(program.data(), program.size());
  EXPECT_FALSE(rb.ok);
  EXPECT_NE(rb.error.find("single program"), std::string::npos) << rb.error;

  file = ParamProgram({0.5f});
  SetBe32(file, 12, 3);
  r = PresetFile::ReadProgram(file.data(), file.size());
  EXPECT_NE(r.error.find("version 3"), std::string::npos) << r.error;
}

TEST(PresetFileTest, CountsAndSizesBeyondTheFileAreRefusedBeforeAllocating) {
  struct Case {
    size_t at;
    uint32_t value;
    const char* message;
  };
  // Offsets in a parameter program, a chunk program and their byte size field.
  const Case programCases[] = {
      {24, 0x7FFFFFFF, "parameters need"}, {24, 0x80000000, "negative parameter count"},
      {24, 3, "parameters need"},          {4, 0xFFFFFFFF, "invalid record size"},
      {4, 0x7FFFFFF0, "truncated"},        {4, 40, "too small"},
  };
  for (const Case& c : programCases) {
    Bytes file = ParamProgram({0.5f, 0.5f});
    SetBe32(file, c.at, c.value);
    const auto r = PresetFile::ReadProgram(file.data(), file.size());
    EXPECT_FALSE(r.ok) << c.at << " " << c.value;
    EXPECT_NE(r.error.find(c.message), std::string::npos) << r.error;
  }
  // Chunk sizes and program counts: far too large, negative, just too large.
  struct Other {
    Bytes file;
    size_t at;
    bool bank;
    uint32_t justTooLarge;
    const char* message;
  };
  const Other others[] = {{ChunkProgram({1, 2, 3, 4}), 56, false, 5, "chunk"},
                          {ParamBank(1, {ParamProgram({0.5f})}), 24, true, 2, "program"},
                          {ChunkBank({1, 2}, 1, 0), 156, true, 3, "chunk"}};
  for (const Other& o : others) {
    for (uint32_t value : {0x7FFFFFFFu, 0x80000000u, o.justTooLarge}) {
      Bytes file = o.file;
      SetBe32(file, o.at, value);
      const std::string error = o.bank ? PresetFile::ReadBank(file.data(), file.size()).error
                                       : PresetFile::ReadProgram(file.data(), file.size()).error;
      EXPECT_NE(error.find(o.message), std::string::npos) << o.at << " " << value << error;
    }
  }
}

TEST(PresetFileTest, BankRecordsMustBelongToTheBank) {
  Bytes file = ParamBank(1, {ParamProgram({0.5f}), ChunkProgram({1})});
  auto r = PresetFile::ReadBank(file.data(), file.size());
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("program 1 of the bank"), std::string::npos) << r.error;
  EXPECT_NE(r.error.find("'FPCh'"), std::string::npos) << r.error;

  file = ParamBank(1, {ParamProgram({0.5f}, "Othr")});
  r = PresetFile::ReadBank(file.data(), file.size());
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("'Othr'"), std::string::npos) << r.error;

  for (uint32_t current : {2u, 0xFFFFFFFFu}) {
    file = ParamBank(2, {ParamProgram({0.5f}), ParamProgram({0.5f})}, current);
    r = PresetFile::ReadBank(file.data(), file.size());
    EXPECT_FALSE(r.ok) << current;
    EXPECT_NE(r.error.find("current program"), std::string::npos) << r.error;
  }
  file = ChunkBank({1}, 0, 1);
  EXPECT_FALSE(PresetFile::ReadBank(file.data(), file.size()).ok);
}

TEST(PresetFileTest, ValuesOutsideTheUnitRangeAreRefused) {
  for (float bad : {-0.001f, 1.5f, std::numeric_limits<float>::quiet_NaN(),
                    std::numeric_limits<float>::infinity()}) {
    const Bytes file = ParamProgram({0.5f, bad});
    const auto r = PresetFile::ReadProgram(file.data(), file.size());
    EXPECT_FALSE(r.ok) << bad;
    EXPECT_NE(r.error.find("parameter 1"), std::string::npos) << r.error;
  }
}

TEST(PresetFileTest, IdsAreComparedAndNamedReadably) {
  EXPECT_EQ(PresetFile::IdMismatch(kTlvn, kTlvn), "");
  const std::string m = PresetFile::IdMismatch(0x44334551, kTlvn);
  EXPECT_NE(m.find("'D3EQ'"), std::string::npos) << m;
  EXPECT_NE(m.find("'Tlvn'"), std::string::npos) << m;
  EXPECT_EQ(PresetFile::FourCCText(-1), "0xFFFFFFFF");
}

}  // namespace
}  // namespace render
}  // namespace tolvane
