// Files made by real tools (sdcc, objcopy, srec_cat) must load into the banks exactly as those
// tools themselves turn them into binaries. A missing tool fails the test: setup.sh installs them.
#include <gtest/gtest.h>

#include "tests/cli/run_tool.h"
#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kBank = 0x10000;

// A program with a constant table, so that sdcc's records are many, of mixed length and
// out of address order.
const char* const kProgram = R"(#include <8051.h>
__code const unsigned char table[1200] = { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, [1199] = 0xA5 };
unsigned char checksum(void) {
  unsigned char sum = 0;
  for (unsigned int i = 0; i < sizeof table; ++i) sum += table[i];
  return sum;
}
void main(void) {
  for (;;) P1 = checksum();
}
)";

class RealFiles : public ::testing::Test {
 protected:
  // Runs a tool and expects it to succeed; a tool that is not installed cannot start.
  void Tool(const std::vector<std::string>& argv) {
    ToolRun run = RunProgram(argv);
    ASSERT_EQ(run.exit_code, 0) << run.err;
  }

  std::string Path(const std::string& name) const { return (work.path() / name).string(); }

  // The HEX file as srec_cat and objcopy see it, checked to agree with each other.
  Bytes Reference(const std::string& hex) {
    const std::string by_srec = Path("srec.bin");
    const std::string by_objcopy = Path("objcopy.bin");
    Tool({"srec_cat", hex, "-intel", "-o", by_srec, "-binary"});
    Tool({"objcopy", "-I", "ihex", "-O", "binary", hex, by_objcopy});
    Bytes reference = ReadBytes(by_srec);
    EXPECT_EQ(reference, ReadBytes(by_objcopy)) << hex;
    return reference;
  }

  // rm516x-isp info with the image written out; expects success.
  Bytes Load(std::vector<std::string> args, std::string* out = nullptr) {
    const std::string image = Path("image.bin");
    args.insert(args.begin(), {"info", "--image-out", image});
    ToolRun run = RunIsp(config.path(), args);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    if (out) *out = run.out;
    return ReadBytes(image);
  }

  TempDir work;
  TempDir config;
};

void ExpectBankHolds(const Bytes& image, std::size_t bank_offset, const Bytes& reference,
                     std::uint8_t fill) {
  ASSERT_EQ(image.size(), 2 * kBank);
  ASSERT_LE(reference.size(), kBank);
  EXPECT_TRUE(std::equal(reference.begin(), reference.end(), image.begin() + bank_offset));
  std::size_t wrong = 0;
  for (std::size_t i = reference.size(); i < kBank - 1; ++i) wrong += image[bank_offset + i] != fill;
  EXPECT_EQ(wrong, 0u) << "bytes after the file that are not the fill value";
}

std::string BankLine(int bank, std::size_t bytes) {
  return "BANK" + std::to_string(bank) + " : " + std::to_string(bytes) + " byte(s)\n";
}

TEST_F(RealFiles, SdccProgramLoadsAsSrecCatAndObjcopyReadIt) {
  work.Write("program.c", kProgram);
  Tool({"sdcc", "-mmcs51", "-o", Path("") + "/", Path("program.c")});
  const std::string ihx = Path("program.ihx");
  const Bytes reference = Reference(ihx);
  ASSERT_GT(reference.size(), 1200u);

  // Zero fill: the holes sdcc leaves read as 0x00, as the tools write them.
  ExpectBankHolds(Load({"--chip", "RM5164", "--fill", "0x00", ihx}), 0, reference, 0x00);

  std::string out;
  const Bytes image = Load({"--chip", "RM5164", "--fill", "0xFF", ihx}, &out);
  EXPECT_NE(out.find(BankLine(0, (reference.size() + 255) / 256 * 256)), std::string::npos) << out;
  const std::string padded = Path("padded.bin");
  Tool({"srec_cat", ihx, "-intel", "-fill", "0xFF", "0", "0x10000", "-o", padded, "-binary"});
  EXPECT_TRUE(std::equal(image.begin(), image.begin() + kBank, ReadBytes(padded).begin()));
}

TEST_F(RealFiles, BinariesConvertedByObjcopyAndSrecCatLoadBackUnchanged) {
  // Sizes: one byte, not a whole page, the RM5164's limit, a whole bank.
  for (std::size_t size : {std::size_t{1}, std::size_t{40001}, std::size_t{0xFE00}, kBank}) {
    const std::string blob = work.Write("blob.bin", TestBytes(size, 1));
    const std::vector<std::vector<std::string>> converters = {
        {"objcopy", "-I", "binary", "-O", "ihex", blob, Path("objcopy.hex")},
        {"srec_cat", blob, "-binary", "-o", Path("srec.hex"), "-intel"},
        // The longest records, CR LF line ends.
        {"srec_cat", blob, "-binary", "-o", Path("srec255.hex"), "-intel", "-obs=255",
         "-line-termination=crlf"},
    };
    for (const auto& converter : converters) {
      const std::string& hex = converter[converter[0] == "objcopy" ? 6 : 4];
      SCOPED_TRACE(hex + " from " + std::to_string(size) + " bytes");
      Tool(converter);
      const Bytes reference = Reference(hex);
      ASSERT_EQ(reference, ReadBytes(blob));
      std::string out;
      const Bytes image = Load({"--chip", "RM5168", "--fill", "0xFF", hex, hex}, &out);
      ExpectBankHolds(image, 0, reference, 0xFF);
      ExpectBankHolds(image, kBank, reference, 0xFF);
      EXPECT_NE(out.find(BankLine(0, (size + 511) / 512 * 512)), std::string::npos) << out;
    }
  }
}

TEST_F(RealFiles, EachFileLandsInItsBank) {
  const std::string first = Path("first.hex");
  const std::string second = Path("second.hex");
  Tool({"objcopy", "-I", "binary", "-O", "ihex", work.Write("a.bin", TestBytes(3000, 2)), first});
  Tool({"srec_cat", work.Write("b.bin", TestBytes(5000, 3)), "-binary", "-o", second, "-intel"});
  const Bytes first_reference = Reference(first);
  const Bytes second_reference = Reference(second);

  const Bytes both = Load({"--chip", "RM5168", "--fill", "0x00", first, second});
  ExpectBankHolds(both, 0, first_reference, 0x00);
  ExpectBankHolds(both, kBank, second_reference, 0x00);

  // One small file on the RM5168 is burned into bank 1; bank 0 keeps only the fill. (Not the
  // srec_cat one: its leading 04 record names bank 0, where it then stays.)
  std::string out;
  const Bytes alone = Load({"--chip", "RM5168", "--fill", "0xFF", first}, &out);
  ExpectBankHolds(alone, kBank, first_reference, 0xFF);
  EXPECT_TRUE(std::all_of(alone.begin(), alone.begin() + kBank, [](auto b) { return b == 0xFF; }));
  EXPECT_NE(out.find(BankLine(0, 0) + BankLine(1, 3072)), std::string::npos) << out;
}

TEST_F(RealFiles, TwoBankHexWithExtendedAddressesFillsBothBanks) {
  const std::string blob = work.Write("two-banks.bin", TestBytes(2 * kBank, 4));
  const std::string linear = Path("linear.hex");    // type 04 records
  const std::string segment = Path("segment.hex");  // type 02 records
  Tool({"srec_cat", blob, "-binary", "-o", linear, "-intel"});
  Tool({"srec_cat", blob, "-binary", "-o", segment, "-intel", "--address-length=3"});
  for (const std::string& hex : {linear, segment}) {
    SCOPED_TRACE(hex);
    EXPECT_EQ(Load({"--chip", "RM5168", "--fill", "0xFF", hex}), Reference(hex));
  }
}

}  // namespace
