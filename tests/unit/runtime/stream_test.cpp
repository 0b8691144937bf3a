#include "runtime/stream.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/errors.h"
#include "runtime/fault_hook.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "support/temp_dir.h"

namespace zelkupd {
namespace {

using test::TTempDir;

TEST(FileStreamTest, WritesReadsSeeksAndReportsSize) {
  TTempDir dir;
  {
    TFileStream file(dir / u"a.bin", kCreateReadWriteExclusive);
    file.WriteBuffer("hello world", 11);
    EXPECT_EQ(file.Size(), 11);
    file.SetPosition(6);
    char buffer[5];
    file.ReadBuffer(buffer, 5);
    EXPECT_EQ(std::string(buffer, 5), "world");
    EXPECT_EQ(file.Read(buffer, 5), 0u);
    EXPECT_THROW(file.ReadBuffer(buffer, 1), EReadError);
  }
  EXPECT_EQ(ReadWholeFile(dir / u"a.bin"), "hello world");
}

TEST(FileStreamTest, CreateAlwaysEmptiesAnExistingFile) {
  TTempDir dir;
  test::WriteFileBytes(dir / u"a.bin", "long old content");
  { TFileStream file(dir / u"a.bin", kCreateWriteShareRead); }
  EXPECT_EQ(ReadWholeFile(dir / u"a.bin"), "");
}

// What is written to it can only be read back through its own handle: no open of it by its name,
// for reading or for writing, gets through, and it is gone once the handle is closed.
TEST(FileStreamTest, APrivateTemporaryFileIsReachedThroughItsHandleAloneAndGoesWithIt) {
  TTempDir dir;
  {
    TFileStream file(dir / u"private.tmp", kCreatePrivateTemporary);
    file.WriteBuffer("verified", 8);
    EXPECT_THROW(TFileStream(dir / u"private.tmp", kOpenReadShareRead), EFOpenError);
    EXPECT_THROW(TFileStream(dir / u"private.tmp", kOpenWriteExclusive), EFCreateError);
    file.SetPosition(0);
    char bytes[8] = {};
    file.ReadBuffer(bytes, sizeof bytes);
    EXPECT_EQ(std::string(bytes, sizeof bytes), "verified");
  }
  EXPECT_FALSE(FileExists(dir / u"private.tmp"));
  EXPECT_TRUE(ListDirectory(dir.Path()).empty());
}

TEST(FileStreamTest, MissingFileRaisesOpenErrorWithFullPath) {
  TTempDir dir;
  try {
    TFileStream file(dir / u"missing.ini", kOpenReadShareRead);
    FAIL() << "no exception";
  } catch (const EFOpenError& error) {
    const std::u16string prefix = u"ファイル " + (dir / u"missing.ini") + u" は開けません。 ";
    EXPECT_EQ(error.Message().substr(0, prefix.size()), prefix);
    EXPECT_EQ(error.Message().back(), u' ');
    EXPECT_STREQ(error.ClassName(), "EFOpenError");
  }
}

TEST(FileStreamTest, UncreatableFileRaisesCreateErrorWithQuotedPath) {
  TTempDir dir;
  try {
    TFileStream file(dir / u"no-such-folder\\x.ini", kCreateWriteExclusive);
    FAIL() << "no exception";
  } catch (const EFCreateError& error) {
    const std::u16string prefix =
        u"ファイル \"" + (dir / u"no-such-folder\\x.ini") + u"\" を作成できません。";
    EXPECT_EQ(error.Message().substr(0, prefix.size()), prefix);
    EXPECT_GT(error.Message().size(), prefix.size()) << "the system text is missing";
  }
}

bool FailWrites(TFaultPoint point, std::u16string_view) {
  return point == TFaultPoint::Write;
}

TEST(FileStreamTest, InjectedWriteFailureRaisesWriteError) {
  TTempDir dir;
  TFileStream file(dir / u"a.bin", kCreateWriteExclusive);
  SetFaultHook(FailWrites);
  EXPECT_THROW(file.WriteBuffer("x", 1), EWriteError);
  SetFaultHook(nullptr);
  EXPECT_NO_THROW(file.WriteBuffer("x", 1));
}

TEST(MemoryStreamTest, ReadsWritesAndSeeksPastTheEnd) {
  TMemoryStream stream("abc");
  stream.Seek(0, TSeekOrigin::End);
  stream.WriteBuffer("de", 2);
  EXPECT_EQ(stream.Size(), 5);
  stream.SetPosition(1);
  char buffer[8];
  EXPECT_EQ(stream.Read(buffer, 8), 4u);
  EXPECT_EQ(std::string(buffer, 4), "bcde");
  stream.SetPosition(7);
  stream.WriteBuffer("z", 1);
  EXPECT_EQ(stream.Data().size(), 8u);
  EXPECT_EQ(stream.Data()[5], 0);
}

}  // namespace
}  // namespace zelkupd
