#include "engine/files/ChunkReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "TempFileTree.h"

namespace RegexComponent::engine {
namespace {

using testing::TempFileTree;

// The chunks of one file as they are handed out. Each chunk is checked
// against what was seen before: it starts no later than the text seen so
// far ends (no gap), text it hands out again is unchanged, it is `first`
// exactly when it starts the file, the byte before it is the file's
// preceding byte, and nothing follows the chunk marked `last`.
struct ChunkLog {
  std::string text;  // the file as read so far
  std::vector<std::string> chunks;
  bool ended = false;

  void Add(const Chunk& chunk) {
    const std::string piece(chunk.begin, chunk.end);
    ASSERT_FALSE(ended) << "a chunk after the last";
    ASSERT_LE(chunk.offset, text.size());
    const std::size_t offset = static_cast<std::size_t>(chunk.offset);
    EXPECT_EQ(piece.substr(0, text.size() - offset), text.substr(offset));
    EXPECT_EQ(chunk.first, offset == 0);
    if (offset > 0) {
      EXPECT_EQ(chunk.begin[-1], text[offset - 1]);
    }
    text.resize(offset);
    text += piece;
    chunks.push_back(piece);
    ended = chunk.last;
  }
};

// Hands out the remaining chunks, which must follow each other exactly.
void Drain(ChunkReader& reader, ChunkLog& log) {
  Chunk chunk{};
  while (reader.Next(chunk)) {
    EXPECT_EQ(chunk.offset, log.text.size());
    log.Add(chunk);
  }
  EXPECT_TRUE(log.ended) << "the reader stopped without a last chunk";
  EXPECT_FALSE(reader.Next(chunk)) << "the reader goes on after it is done";
}

class ChunkReaderTest : public ::testing::Test {
 protected:
  ~ChunkReaderTest() override {
    for (const int fd : fds_) ::close(fd);
  }

  // Writes `content` to the file `name` and opens it for reading.
  int Open(const std::string& name, const std::string& content) {
    tree.Write(name, content);
    const int fd = ::open(tree.Path(name).c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    fds_.push_back(fd);
    return fd;
  }

  // The chunks of `content` read whole, the size known as at an open.
  ChunkLog ReadAll(ChunkReader& reader, const std::string& content) {
    reader.Start(Open("f" + std::to_string(fds_.size()), content), content.size());
    ChunkLog log;
    Drain(reader, log);
    EXPECT_EQ(log.text, content);
    return log;
  }

  TempFileTree tree;

 private:
  std::vector<int> fds_;
};

TEST_F(ChunkReaderTest, FileThatFitsTheBufferIsOneChunk) {
  ChunkReader reader(64);
  EXPECT_EQ(ReadAll(reader, "ab\ncd").chunks, std::vector<std::string>{"ab\ncd"});
  EXPECT_EQ(ReadAll(reader, std::string(64, 'x')).chunks.size(), 1u);
  // An empty file still yields one (empty) chunk, so that an empty match
  // at its end can be found.
  EXPECT_EQ(ReadAll(reader, "").chunks, std::vector<std::string>{""});
}

// Lines shorter than the buffer: each chunk but the last ends just after
// the last line feed the buffer holds, the open line coming first in the
// next chunk.
TEST_F(ChunkReaderTest, ChunksEndAfterTheLastLineFeedInTheBuffer) {
  const std::string content = "one\ntwo three\nfour\n\nfive six\nseven\neight nine\nten";
  constexpr std::size_t kBuffer = 16;
  ChunkReader reader(kBuffer);
  const ChunkLog log = ReadAll(reader, content);
  std::size_t at = 0;
  for (std::size_t i = 0; i + 1 < log.chunks.size(); ++i) {
    const std::size_t end = content.rfind('\n', at + kBuffer - 1) + 1;
    EXPECT_EQ(log.chunks[i], content.substr(at, end - at)) << "chunk " << i;
    at = end;
  }
  EXPECT_EQ(log.chunks.back(), content.substr(at));
  EXPECT_LE(log.chunks.back().size(), kBuffer);
  EXPECT_GT(log.chunks.size(), 3u);
}

TEST_F(ChunkReaderTest, LongLineGrowsTheBufferUpToTheLineLimitThenIsCut) {
  ChunkReader reader(8, 32);
  // Within the limit the line stays whole in one chunk.
  const std::string fits = "ab\n" + std::string(29, 'x') + "\ncd\nef\n";
  const ChunkLog whole = ReadAll(reader, fits);
  EXPECT_EQ(whole.chunks.front(), "ab\n");
  EXPECT_NE(whole.chunks[1].find(std::string(29, 'x') + "\n"), std::string::npos);
  EXPECT_GT(reader.Capacity(), 8u);
  EXPECT_LE(reader.Capacity(), 32u);
  // Past it the chunk ends where the full-grown buffer does.
  const ChunkLog cut = ReadAll(reader, std::string(100, 'y') + "\nend\n");
  EXPECT_EQ(cut.chunks, (std::vector<std::string>{std::string(32, 'y'), std::string(32, 'y'), std::string(32, 'y'),
                                                  "yyyy\nend\n"}));
  EXPECT_EQ(reader.Capacity(), 32u);
}

// The default limit, on a sparse file: a line of 64 MiB and a bit more is
// cut at exactly 64 MiB.
TEST_F(ChunkReaderTest, DefaultLineLimitIs64MiB) {
  constexpr std::uint64_t kLimit = std::uint64_t{64} << 20;
  const int fd = Open("sparse", "");
  const int writer = ::open(tree.Path("sparse").c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(::pwrite(writer, "tail\n", 5, kLimit + 3), 5);
  ::close(writer);
  ChunkReader reader;
  reader.Start(fd, kLimit + 8);
  Chunk chunk{};
  ASSERT_TRUE(reader.Next(chunk));
  EXPECT_EQ(static_cast<std::uint64_t>(chunk.end - chunk.begin), kLimit);
  EXPECT_FALSE(chunk.last);
  ASSERT_TRUE(reader.Next(chunk));
  EXPECT_EQ(std::string(chunk.begin, chunk.end), std::string(3, '\0') + "tail\n");
  EXPECT_EQ(chunk.offset, kLimit);
  EXPECT_TRUE(chunk.last);
}

// Random files of short and long lines, empty lines and missing final line
// feeds, read by one reader at tiny buffer sizes: the chunks rebuild the
// file, and no line is split unless it reaches the line limit. With NUL as
// the terminator, chunks end after a NUL and line feeds are ordinary bytes.
TEST_F(ChunkReaderTest, TinyBuffersRebuildEveryFile) {
  std::mt19937 random(7);
  for (const char terminator : {'\n', '\0'}) {
    const char bytes[] = {'a', 'b', terminator, terminator, terminator == '\n' ? 'c' : '\n'};
    for (const std::size_t buffer : {1, 2, 3, 7}) {
      for (const std::size_t limit : {buffer, std::size_t{1} << 20}) {
        ChunkReader reader(buffer, limit, terminator);
        for (int round = 0; round < 20; ++round) {
          std::string content(random() % 60, 'a');
          for (char& c : content) c = bytes[random() % std::size(bytes)];
          const ChunkLog log = ReadAll(reader, content);
          for (std::size_t i = 0; i + 1 < log.chunks.size(); ++i) {
            const std::string& piece = log.chunks[i];
            EXPECT_TRUE(piece.ends_with(terminator) || piece.size() == std::max(buffer, limit))
                << "terminator " << int(terminator) << " buffer " << buffer << " limit " << limit << " chunk "
                << i << " of\n" << content;
          }
        }
      }
    }
  }
}

TEST_F(ChunkReaderTest, LastLineWithoutLineFeedEndsTheLastChunk) {
  ChunkReader reader(8);
  EXPECT_EQ(ReadAll(reader, "abc\ndef\nghijk").chunks.back(), "ghijk");
  EXPECT_EQ(ReadAll(reader, "ab\n" + std::string(20, 'z')).chunks.back(), std::string(20, 'z'));
  // Size unknown: read to end of file all the same.
  reader.Start(Open("unknown", "abc\ndef\nghijk"), 0);
  ChunkLog log;
  Drain(reader, log);
  EXPECT_EQ(log.text, "abc\ndef\nghijk");
}

TEST_F(ChunkReaderTest, FileThatGrowsWhileReadEndsAtItsSizeWhenOpened) {
  const std::string content = "aa\nbb\ncc\ndd\n";
  for (const std::size_t buffer : {4, 64}) {
    ChunkReader reader(buffer);
    const std::string name = "grows" + std::to_string(buffer);
    reader.Start(Open(name, content), content.size());
    ChunkLog log;
    Chunk chunk{};
    ASSERT_TRUE(reader.Next(chunk));
    log.Add(chunk);
    std::ofstream(tree.Path(name), std::ios::app) << "appended\n";
    Drain(reader, log);
    EXPECT_EQ(log.text, content) << "buffer " << buffer;
  }
}

TEST_F(ChunkReaderTest, FileThatShrinksWhileReadEndsEarly) {
  std::string content;
  for (int i = 0; i < 10; ++i) content += "line " + std::to_string(i) + "\n";
  ChunkReader reader(16);
  reader.Start(Open("shrinks", content), content.size());
  ChunkLog log;
  Chunk chunk{};
  ASSERT_TRUE(reader.Next(chunk));
  log.Add(chunk);
  ASSERT_EQ(::truncate(tree.Path("shrinks").c_str(), 30), 0);
  Drain(reader, log);
  EXPECT_EQ(log.text, content.substr(0, 30));

  // Emptied before anything is read: one empty chunk.
  reader.Start(Open("emptied", content), content.size());
  ASSERT_EQ(::truncate(tree.Path("emptied").c_str(), 0), 0);
  ChunkLog empty;
  Drain(reader, empty);
  EXPECT_EQ(empty.chunks, std::vector<std::string>{""});
}

TEST_F(ChunkReaderTest, ReadErrorEndsTheFile) {
  const int directory = ::open(tree.Root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(directory, 0);
  ChunkReader reader(16);
  reader.Start(directory, 0);
  ChunkLog log;
  Drain(reader, log);
  ::close(directory);
  EXPECT_EQ(log.chunks, std::vector<std::string>{""});
}

// Keeping hands out the open text again at the start of a chunk that ends
// past the old one; keeping more than half the buffer grows it.
TEST_F(ChunkReaderTest, KeptTextStartsTheNextChunk) {
  const std::string content = "0123\n5678\nabcdefghij\nklmnopqrstuvwxyz\nend\n";
  ChunkReader reader(16);
  reader.Start(Open("keep", content), content.size());
  ChunkLog log;
  Chunk chunk{};
  ASSERT_TRUE(reader.Next(chunk));
  log.Add(chunk);
  const std::uint64_t oldEnd = chunk.offset + static_cast<std::uint64_t>(chunk.end - chunk.begin);
  const char* keepFrom = chunk.end - 3;
  ASSERT_TRUE(reader.CanKeep(chunk, keepFrom));
  ASSERT_TRUE(reader.Next(chunk, keepFrom));
  log.Add(chunk);
  EXPECT_EQ(chunk.offset, oldEnd - 3);
  EXPECT_GT(chunk.offset + static_cast<std::uint64_t>(chunk.end - chunk.begin), oldEnd);
  EXPECT_TRUE(chunk.last || chunk.end[-1] == '\n');

  ASSERT_TRUE(reader.CanKeep(chunk, chunk.begin));
  ASSERT_TRUE(reader.Next(chunk, chunk.begin));
  log.Add(chunk);
  EXPECT_GT(reader.Capacity(), 16u);
  Drain(reader, log);
  EXPECT_EQ(log.text, content);
}

TEST_F(ChunkReaderTest, TextAsLongAsTheLineLimitCannotBeKept) {
  ChunkReader reader(8, 8);
  reader.Start(Open("full", std::string(20, 'q')), 20);
  Chunk chunk{};
  ASSERT_TRUE(reader.Next(chunk));
  ASSERT_EQ(chunk.end - chunk.begin, 8);
  EXPECT_FALSE(reader.CanKeep(chunk, chunk.begin));
  EXPECT_TRUE(reader.CanKeep(chunk, chunk.begin + 1));
}

// A window makes the first chunk come from a few bytes; widening hands out
// the file's start again, longer, until the window spans the buffer.
TEST_F(ChunkReaderTest, WindowedStartWidensFromTheFileStart) {
  std::string content;
  for (int i = 0; i < 40; ++i) content += "row" + std::to_string(i) + "\n";
  ChunkReader reader(128);
  reader.Start(Open("window", content), content.size(), 8);
  ChunkLog log;
  Chunk chunk{};
  ASSERT_TRUE(reader.Next(chunk));
  log.Add(chunk);
  EXPECT_LE(chunk.end - chunk.begin, 8);
  std::ptrdiff_t length = chunk.end - chunk.begin;
  int widenings = 0;
  while (reader.Widen(chunk)) {
    log.Add(chunk);
    EXPECT_EQ(chunk.offset, 0u);
    EXPECT_GT(chunk.end - chunk.begin, length);
    length = chunk.end - chunk.begin;
    ++widenings;
  }
  EXPECT_GE(widenings, 1);
  EXPECT_LE(length, 128);
  Drain(reader, log);
  EXPECT_EQ(log.text, content);

  // A file that fits the window is done at once: nothing to widen.
  reader.Start(Open("small", "ab\n"), 3, 8);
  ASSERT_TRUE(reader.Next(chunk));
  EXPECT_TRUE(chunk.last);
  EXPECT_FALSE(reader.Widen(chunk));
}

}  // namespace
}  // namespace RegexComponent::engine
