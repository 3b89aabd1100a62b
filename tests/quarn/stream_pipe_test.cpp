// The bounded stream between a clone's walk and its writer: every byte
// arrives in order whatever the sizes on either side, a writer that runs
// ahead waits for room, a reader that stops releases a waiting writer, and
// a writer that ends lets the reader take what is left and then no more.
#include "quarn/image/stream_pipe.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <thread>

using testsupport::PatternBytes;

namespace {

TEST(StreamPipe, EveryByteArrivesInOrderWhateverTheSizes)
{
    CStreamPipe pipe;
    const std::vector<uint8_t> sent = PatternBytes(3 * CStreamPipe::kCapacity + 12345, 7);
    int putResult = -1;
    std::thread writer([&] {
        size_t at = 0;
        size_t step = 1;
        putResult = 0;
        while (at < sent.size() && putResult == 0) {
            const size_t n = std::min(step, sent.size() - at);
            putResult = pipe.Put(sent.data() + at, n);
            at += n;
            step = step * 3 % 1000003 + 1;
        }
        pipe.CloseWriting();
    });
    std::vector<uint8_t> received;
    std::vector<uint8_t> piece(700001);
    for (;;) {
        const int64_t got = pipe.Take(piece.data(), int64_t(piece.size() % 99991 + 1));
        received.insert(received.end(), piece.begin(), piece.begin() + got);
        if (got == 0)
            break;
    }
    writer.join();
    EXPECT_EQ(putResult, 0);
    EXPECT_EQ(received, sent);
}

TEST(StreamPipe, AStoppedReaderReleasesTheWriterWaitingForRoom)
{
    CStreamPipe pipe;
    const std::vector<uint8_t> bytes(2 * CStreamPipe::kCapacity, 1);
    int putResult = 0;
    std::thread writer([&] { putResult = pipe.Put(bytes.data(), bytes.size()); });
    // The writer fills the pipe and waits; the reader takes a little and
    // stops.
    std::vector<uint8_t> some(1000);
    ASSERT_EQ(pipe.Take(some.data(), int64_t(some.size())), int64_t(some.size()));
    pipe.StopReading();
    writer.join();
    EXPECT_EQ(putResult, ERR_CANCELLED);
    EXPECT_EQ(pipe.Put(bytes.data(), 1), ERR_CANCELLED);
    EXPECT_EQ(pipe.Take(some.data(), 1), 0);
}

TEST(StreamPipe, AnEndedStreamGivesWhatIsLeftThenNothing)
{
    CStreamPipe pipe;
    const std::vector<uint8_t> bytes = PatternBytes(5000, 3);
    ASSERT_EQ(pipe.Put(bytes.data(), bytes.size()), 0);
    pipe.CloseWriting();
    std::vector<uint8_t> all(8000);
    ASSERT_EQ(pipe.Take(all.data(), int64_t(all.size())), 5000);
    all.resize(5000);
    EXPECT_EQ(all, bytes);
    EXPECT_EQ(pipe.Take(all.data(), 10), 0);
    EXPECT_EQ(pipe.SkipImage(1), ERR_SEEK_FILE);
}

}  // namespace
