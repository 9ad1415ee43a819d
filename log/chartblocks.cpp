#include "log/chartblocks.h"

#include <algorithm>
#include <cstring>

namespace hmx::chartparts {

void BlockReader::Block::reserve(std::size_t size)
{
    if (size <= capacity)
        return;
    const std::size_t grown = std::max(size, capacity * 2);
    std::unique_ptr<char[]> bigger(new char[grown]);
    if (length > 0)  // a block never filled has no bytes at all, not even a place
        std::memcpy(bigger.get(), data.get(), length);
    data = std::move(bigger);
    capacity = grown;
}

BlockReader::BlockReader(QIODevice& device, std::size_t size, const QString& name, const ChartLoadOptions& options,
                         std::size_t headLines, std::size_t blocks, std::size_t smallest, std::size_t largest)
    : m_device(device)
    , m_name(name)
    , m_options(options)
    , m_size(size)
    , m_smallest(std::max<std::size_t>(smallest, 1))
    , m_largest(std::max(largest, m_smallest))
    , m_headLines(headLines)
{
    for (std::size_t i = 0; i < std::max<std::size_t>(blocks, 2); ++i) {
        m_blocks.push_back(std::make_unique<Block>());
        m_free.push_back(m_blocks.back().get());
    }
    m_thread = std::thread([this] { run(); });
}

BlockReader::~BlockReader()
{
    stop();
    m_thread.join();
}

void BlockReader::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
    }
    m_changed.notify_all();
}

BlockReader::Block* BlockReader::take()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_free.empty() || m_stopped; });
    if (m_stopped)
        return nullptr;
    Block* block = m_free.back();
    m_free.pop_back();
    return block;
}

bool BlockReader::fill(Block& block, std::size_t k, std::vector<char>& carry, std::size_t& step)
{
    block.length = 0;
    block.reserve(carry.size() + step);
    if (!carry.empty())
        std::memcpy(block.data.get(), carry.data(), carry.size());
    block.length = carry.size();
    carry.clear();
    // The lines this block must end with: the first holds the head's lines whole.
    std::size_t lines = k == 0 ? m_headLines : 1;
    std::size_t searched = 0;  // LFs looked for up to here (the carried bytes hold none)
    if (k > 0)
        searched = block.length;
    std::size_t cut = 0;  // after the last LF found
    bool ended = false;
    for (;;) {
        const std::size_t want = std::min(step, m_size - m_done);
        if (m_options.cancel && m_options.cancel->load(std::memory_order_relaxed))
            throw ChartFileError(ChartProblem::Cancelled, m_name);
        qint64 n = 0;
        if (want > 0) {
            block.reserve(block.length + want);
            n = m_device.read(block.data.get() + block.length, qint64(want));
            if (n < 0)
                throw ChartFileError(ChartProblem::ReadError, m_name, m_device.errorString());
        }
        if (n == 0) {
            ended = true;  // the file as it is now: one cut short ends here
            break;
        }
        block.length += std::size_t(n);
        m_done += std::size_t(n);
        // Enough lines: the block ends after the last LF in it.
        while (lines > 0 && searched < block.length) {
            const auto* lf = static_cast<const char*>(std::memchr(block.data.get() + searched, '\n', block.length - searched));
            if (!lf) {
                searched = block.length;
                break;
            }
            searched = std::size_t(lf - block.data.get()) + 1;
            --lines;
        }
        if (lines == 0) {
            const std::size_t last = std::string_view(block.data.get(), block.length).rfind('\n');
            cut = std::max(searched, last + 1);
            break;
        }
    }
    step = std::min(step * 2, m_largest);
    block.k = k;
    if (ended) {
        block.last = true;
        return block.length > 0 || k == 0;
    }
    carry.assign(block.data.get() + cut, block.data.get() + block.length);
    block.length = cut;
    block.last = false;
    return true;
}

void BlockReader::run()
{
    std::vector<char> carry;
    std::size_t step = m_smallest;
    try {
        for (std::size_t k = 0;; ++k) {
            Block* block = take();
            if (!block)
                break;
            const bool filled = fill(*block, k, carry, step);
            {
                std::lock_guard lock(m_mutex);
                (filled ? m_ready.push_back(block) : m_free.push_back(block));
                m_finished = block->last;
            }
            m_changed.notify_all();
            if (block->last)
                break;
        }
    } catch (...) {
        std::lock_guard lock(m_mutex);
        m_error = std::current_exception();
    }
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
    }
    m_changed.notify_all();
}

BlockReader::Block* BlockReader::readyBlock(std::size_t k)
{
    for (Block* block : m_ready) {
        if (block->k == k)
            return block;
    }
    return nullptr;
}

std::string_view BlockReader::head(bool& all)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_ready.empty() || m_finished; });
    Block* first = readyBlock(0);
    if (!first) {
        all = true;  // nothing read: an empty file, a read error or a cancel
        return {};
    }
    // Up to the end of the head's lines, or all of the block when it has fewer.
    bool wholeBlock = false;
    const std::size_t end = WithLines(std::string_view(first->data.get(), first->length), m_headLines, wholeBlock);
    m_headBytes = end;
    all = first->last && wholeBlock;
    return {first->data.get(), end};
}

bool BlockReader::next(std::size_t& k, std::string_view& piece)
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return !m_ready.empty() || m_finished || m_stopped; });
        if (m_stopped || m_ready.empty())
            return false;
        Block* block = m_ready.front();
        m_ready.pop_front();
        const std::size_t from = block->k == 0 ? m_headBytes : 0;
        if (from >= block->length) {
            m_free.push_back(block);  // all of it was the head
            m_changed.notify_all();
            continue;
        }
        k = m_count++;
        block->k = k;
        m_given.push_back(block);
        piece = std::string_view(block->data.get() + from, block->length - from);
        return true;
    }
}

void BlockReader::done(std::size_t k)
{
    {
        std::lock_guard lock(m_mutex);
        const auto at = std::find_if(m_given.begin(), m_given.end(), [k](const Block* b) { return b->k == k; });
        if (at == m_given.end())
            return;
        m_free.push_back(*at);
        m_given.erase(at);
    }
    m_changed.notify_all();
}

std::size_t BlockReader::count() const
{
    std::lock_guard lock(m_mutex);
    return m_count;
}

void BlockReader::rethrow() const
{
    std::lock_guard lock(m_mutex);
    if (m_error)
        std::rethrow_exception(m_error);
}

} // namespace hmx::chartparts
