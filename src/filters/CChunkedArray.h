// An append-only array whose elements never move, readable by index from other threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

// One thread appends (its callers serialise appends); any thread may call Size and At at the same
// time: an element is constructed before the count that covers it is published, and a directory
// outgrown by an append is kept until Clear, so a reader holding the old one still finds its
// chunks. Clear and destruction must not run beside readers.
template <typename T, unsigned ChunkBits> class CChunkedArray
{
public:
    static constexpr uint32_t kChunkSize = 1u << ChunkBits;

    CChunkedArray() = default;
    CChunkedArray(const CChunkedArray&) = delete;
    CChunkedArray& operator=(const CChunkedArray&) = delete;
    ~CChunkedArray() { Clear(); }

    uint32_t Size() const { return m_size.load(std::memory_order_acquire); }

    // nullptr when index is not below Size().
    T* At(uint32_t index) const
    {
        if (index >= Size())
            return nullptr;
        T* const* directory = m_directory.load(std::memory_order_acquire);
        return directory[index >> ChunkBits] + (index & (kChunkSize - 1));
    }

    template <typename... Args> T& Append(Args&&... args)
    {
        const uint32_t index = m_size.load(std::memory_order_relaxed);
        const uint32_t chunk = index >> ChunkBits;
        if ((index & (kChunkSize - 1)) == 0)
            AddChunk(chunk);
        T* slot = m_directory.load(std::memory_order_relaxed)[chunk] + (index & (kChunkSize - 1));
        new (slot) T(std::forward<Args>(args)...);
        m_size.store(index + 1, std::memory_order_release);
        return *slot;
    }

    void Clear()
    {
        const uint32_t size = m_size.load(std::memory_order_relaxed);
        T** directory = m_directory.load(std::memory_order_relaxed);
        for (uint32_t i = 0; i < size; ++i)
            directory[i >> ChunkBits][i & (kChunkSize - 1)].~T();
        for (uint32_t c = 0; c < m_chunkCount; ++c)
            std::allocator<T>().deallocate(directory[c], kChunkSize);
        delete[] directory;
        for (T** retired : m_retired)
            delete[] retired;
        m_retired.clear();
        m_directory.store(nullptr, std::memory_order_relaxed);
        m_capacity = 0;
        m_chunkCount = 0;
        m_size.store(0, std::memory_order_release);
    }

private:
    void AddChunk(uint32_t chunk)
    {
        T** directory = m_directory.load(std::memory_order_relaxed);
        if (chunk >= m_capacity)
        {
            const uint32_t capacity = m_capacity == 0 ? 4 : m_capacity * 2;
            T** grown = new T*[capacity]();
            for (uint32_t c = 0; c < m_chunkCount; ++c)
                grown[c] = directory[c];
            if (directory != nullptr)
                m_retired.push_back(directory);
            directory = grown;
            m_capacity = capacity;
            m_directory.store(directory, std::memory_order_release);
        }
        directory[chunk] = std::allocator<T>().allocate(kChunkSize);
        m_chunkCount = chunk + 1;
    }

    std::atomic<T**> m_directory{nullptr};
    std::atomic<uint32_t> m_size{0};
    uint32_t m_capacity = 0;   // writer only
    uint32_t m_chunkCount = 0; // writer only
    std::vector<T**> m_retired;
};
