// A chart file read on a thread of its own into a few blocks that are used again and
// again, each block ending at a line end: its lines are read while the next blocks
// come in, and the memory a load touches does not grow with the file.
#pragma once

#include "log/chartfile.h"
#include "log/chartfileparts.h"

#include <QIODevice>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

namespace hmx::chartparts {

class BlockReader : public PieceSource {
public:
    // Reads `device` from where it is, up to `size` bytes (fewer when it ends sooner),
    // into `blocks` blocks; the first holds `headLines` whole lines at least, and a block
    // takes `smallest` bytes of the file at first, then twice as many each time up to
    // `largest`, more for a line longer than that. A read error or a cancel ends the
    // reading: rethrow() tells it.
    BlockReader(QIODevice& device, std::size_t size, const QString& name, const ChartLoadOptions& options,
                std::size_t headLines, std::size_t blocks, std::size_t smallest, std::size_t largest);
    ~BlockReader() override;

    BlockReader(const BlockReader&) = delete;
    BlockReader& operator=(const BlockReader&) = delete;

    std::string_view head(bool& all) override;
    bool next(std::size_t& k, std::string_view& piece) override;
    void done(std::size_t k) override;
    void stop() override;
    std::size_t count() const override;
    void rethrow() const override;

private:
    struct Block {
        std::unique_ptr<char[]> data;
        std::size_t capacity = 0;
        std::size_t length = 0;
        std::size_t k = 0;
        bool last = false;

        void reserve(std::size_t size);
    };

    void run();
    // A free block, waiting for one; null once stopped.
    Block* take();
    // Reads the next block into `block` after the carried bytes; false at the end of the file.
    bool fill(Block& block, std::size_t k, std::vector<char>& carry, std::size_t& step);
    Block* readyBlock(std::size_t k);

    QIODevice& m_device;
    const QString m_name;
    const ChartLoadOptions& m_options;
    const std::size_t m_size;
    const std::size_t m_smallest;
    const std::size_t m_largest;
    const std::size_t m_headLines;  // the first block holds at least these whole lines
    std::size_t m_headBytes = 0;  // taken by head() from the first block
    std::size_t m_done = 0;       // bytes read

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::unique_ptr<Block>> m_blocks;
    std::vector<Block*> m_free;
    std::deque<Block*> m_ready;   // in file order
    std::vector<Block*> m_given;  // handed out by next()
    std::size_t m_count = 0;      // pieces handed out
    bool m_finished = false;      // no more are coming
    bool m_stopped = false;
    std::exception_ptr m_error;
    std::thread m_thread;
};

} // namespace hmx::chartparts
