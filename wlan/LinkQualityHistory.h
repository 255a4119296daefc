// Link-quality history of one station: the samples the graph draws, oldest
// first, capped at a fixed count. A sample is a percentage, kept in one byte
// (values outside 0..100 are stored at the nearer end). Used only by the
// user-interface thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>

class CLinkQualityHistory {
 public:
  static constexpr std::size_t kDefaultCapacity = 5000;

  // A capacity of 0 is raised to 1: a history always keeps the newest sample.
  explicit CLinkQualityHistory(std::size_t capacity = kDefaultCapacity);

  // A moved-from history is empty and keeps its capacity.
  CLinkQualityHistory(CLinkQualityHistory&& other) noexcept;
  CLinkQualityHistory& operator=(CLinkQualityHistory&& other) noexcept;
  CLinkQualityHistory(const CLinkQualityHistory&) = delete;
  CLinkQualityHistory& operator=(const CLinkQualityHistory&) = delete;

  // Appends at the newest end (clamped to 0..100); when full, the oldest
  // sample is dropped.
  // O(1); allocates only on the first sample after construction or clear().
  void push_back(int value);
  // Forgets every sample and releases the storage.
  void clear() noexcept;

  std::size_t size() const noexcept { return m_nCount; }
  std::size_t capacity() const noexcept { return m_nCapacity; }
  bool empty() const noexcept { return m_nCount == 0; }
  // Samples that have entered this history since it was made: push_back
  // adds one, a move into it adds the samples moved in; clear() and a move
  // out leave it as it is. When it has risen by d between two looks and
  // size() is above d, the history is the earlier one with d samples pushed
  // (a clear or a move in between leaves size() at d or below).
  std::uint64_t appended() const noexcept { return m_nAppended; }

  // Index 0 is the oldest sample, size() - 1 the newest. Unchecked.
  int operator[](std::size_t index) const noexcept { return m_pSamples[Slot(index)]; }
  // Checked access: throws std::out_of_range for index >= size().
  int at(std::size_t index) const;
  int front() const noexcept { return (*this)[0]; }
  int back() const noexcept { return (*this)[m_nCount - 1]; }

  // Oldest-to-newest iteration over the live samples.
  class const_iterator {
   public:
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = int;
    using difference_type = std::ptrdiff_t;
    using pointer = const int*;
    using reference = int;

    const_iterator() = default;
    int operator*() const noexcept { return (*m_pOwner)[m_nIndex]; }
    const_iterator& operator++() noexcept { ++m_nIndex; return *this; }
    const_iterator operator++(int) noexcept { const_iterator old = *this; ++m_nIndex; return old; }
    const_iterator& operator--() noexcept { --m_nIndex; return *this; }
    const_iterator operator--(int) noexcept { const_iterator old = *this; --m_nIndex; return old; }
    bool operator==(const const_iterator& other) const noexcept {
      return m_pOwner == other.m_pOwner && m_nIndex == other.m_nIndex;
    }

   private:
    friend class CLinkQualityHistory;
    const_iterator(const CLinkQualityHistory* owner, std::size_t index) : m_pOwner(owner), m_nIndex(index) {}
    const CLinkQualityHistory* m_pOwner = nullptr;
    std::size_t m_nIndex = 0;
  };

  const_iterator begin() const noexcept { return const_iterator(this, 0); }
  const_iterator end() const noexcept { return const_iterator(this, m_nCount); }

 private:
  std::size_t Slot(std::size_t index) const noexcept {
    const std::size_t slot = m_nHead + index;
    return slot < m_nCapacity ? slot : slot - m_nCapacity;
  }

  // Ring storage, allocated once at full capacity on the first sample. Every
  // station is sampled every 20 ms, so each history reaches the cap within
  // 100 s anyway; growing towards it would only add copies and allocations on
  // the sampling path. 5000 one-byte samples are 5 kB per station (50 MB for
  // 10,000).
  std::unique_ptr<std::uint8_t[]> m_pSamples;
  std::size_t m_nCapacity;
  std::size_t m_nHead = 0;   // slot of the oldest sample
  std::size_t m_nCount = 0;  // live samples, <= m_nCapacity
  std::uint64_t m_nAppended = 0;
};

static_assert(std::bidirectional_iterator<CLinkQualityHistory::const_iterator>);
