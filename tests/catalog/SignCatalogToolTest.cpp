#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include "CatalogTestSupport.h"
#include "catalog/ConfigFile.h"
#include "foundation/FileHelpers.h"
#include "platform/ChildProcess.h"
#include "support/TestSupport.h"

namespace vantor {
namespace {

std::string tool() { return test::binaryPath("vantor-sign-catalog"); }

// A PEM private key of another kind than the layout needs.
std::string rsaKeyPEM(int bits) {
  EVP_PKEY* key = EVP_RSA_gen(static_cast<unsigned>(bits));
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
  char* data = nullptr;
  long length = BIO_get_mem_data(bio, &data);
  std::string pem(data, static_cast<size_t>(length));
  BIO_free(bio);
  EVP_PKEY_free(key);
  return pem;
}

class SignCatalogToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto made = makeTempDirectory();
    ASSERT_TRUE(made);
    folder_ = *made;
  }
  void TearDown() override { removeItem(folder_); }

  std::string write(const std::string& name, std::string_view text) {
    std::string path = folder_ + "/" + name;
    EXPECT_TRUE(writeContentsAtomically(path, text));
    return path;
  }

  platform::ProcessResult run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), tool());
    platform::RunOptions options;
    options.timeoutSeconds = 60;
    return platform::runProcess(arguments, options);
  }

  std::string folder_;
};

TEST_F(SignCatalogToolTest, SignedFileLoadsWithTheDemoKey) {
  const std::string text = R"({"bundleIDMapping":{"com.example.App":{"cn":"example"}}})";
  std::string output = folder_ + "/config.json.encr";
  auto result = run({write("catalog.json", text), output});
  ASSERT_EQ(result.status, 0) << result.output;

  auto file = contents(output);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->size(), 532 + static_cast<size_t>((*file)[4] | (*file)[5] << 8 | (*file)[6] << 16 | (*file)[7] << 24));
  Error error;
  auto decoded = ConfigFile::uncompressConfigFile(&*file, &error);
  ASSERT_TRUE(decoded) << error.description();
  EXPECT_EQ(testing::view(*decoded), text);  // signed as given, not re-serialized
  auto catalog = ConfigFile::configFileWithJSONData(std::move(*decoded));
  ASSERT_TRUE(catalog);
  EXPECT_EQ(catalog->entryForBundleIdentifier("com.example.App").caskName(), Json("example"));
}

TEST_F(SignCatalogToolTest, AnotherKeySignsAFileTheBuildRefuses) {
  std::string output = folder_ + "/config.json.encr";
  auto result = run({"--key", std::string(build::kSourceDir) + "/tests/catalog/fixtures/other-4096-private.pem",
                     write("catalog.json", R"({"bundleIDMapping":{}})"), output});
  ASSERT_EQ(result.status, 0) << result.output;
  auto file = contents(output);
  Error error;
  EXPECT_FALSE(ConfigFile::uncompressConfigFile(&*file, &error));
  EXPECT_EQ(error.code, 9);
}

TEST_F(SignCatalogToolTest, BadInputOrKeyFailsWithAMessageAndWritesNothing) {
  std::string good = write("good.json", R"({"bundleIDMapping":{}})");
  struct Case {
    std::vector<std::string> arguments;
    const char* message;
  };
  const Case kCases[] = {
      {{write("bad.json", "{\"bundleIDMapping\":")}, "not valid JSON"},
      {{write("array.json", "[1]")}, "must be a JSON object"},
      {{write("nomap.json", "{\"x\":1}")}, "bundleIDMapping"},
      {{folder_ + "/missing.json"}, "cannot read"},
      {{"--key", folder_ + "/missing.pem", good}, "cannot read the key file"},
      {{"--key", write("text.pem", "not a key"), good}, "not a PEM private key"},
      {{"--key", write("small.pem", rsaKeyPEM(2048)), good}, "not a 4096-bit RSA private key"},
      {{"--key", std::string(build::kSourceDir) + "/resources/demo-keys/catalog-demo-public.pem", good},
       "not a PEM private key"},
  };
  for (const auto& c : kCases) {
    std::string output = folder_ + "/out.encr";
    auto arguments = c.arguments;
    arguments.push_back(output);
    auto result = run(arguments);
    EXPECT_EQ(result.status, 1) << c.message;
    EXPECT_NE(result.output.find(c.message), std::string::npos) << result.output;
    EXPECT_FALSE(fileExists(output)) << c.message;
  }
}

TEST_F(SignCatalogToolTest, WrongUsage) {
  EXPECT_EQ(run({}).status, 2);
  EXPECT_EQ(run({"only-one"}).status, 2);
  EXPECT_EQ(run({"--key"}).status, 2);
  EXPECT_EQ(run({"--bogus", "a", "b"}).status, 2);
}

}  // namespace
}  // namespace vantor
