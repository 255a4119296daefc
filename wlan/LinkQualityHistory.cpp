#include "wlan/LinkQualityHistory.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

CLinkQualityHistory::CLinkQualityHistory(std::size_t capacity) : m_nCapacity(capacity == 0 ? 1 : capacity) {}

CLinkQualityHistory::CLinkQualityHistory(CLinkQualityHistory&& other) noexcept
    : m_pSamples(std::move(other.m_pSamples)),
      m_nCapacity(other.m_nCapacity),
      m_nHead(std::exchange(other.m_nHead, 0)),
      m_nCount(std::exchange(other.m_nCount, 0)),
      m_nAppended(m_nCount) {}

CLinkQualityHistory& CLinkQualityHistory::operator=(CLinkQualityHistory&& other) noexcept {
  if (this != &other) {
    m_pSamples = std::move(other.m_pSamples);
    m_nCapacity = other.m_nCapacity;
    m_nHead = std::exchange(other.m_nHead, 0);
    m_nCount = std::exchange(other.m_nCount, 0);
    m_nAppended += m_nCount;
  }
  return *this;
}

void CLinkQualityHistory::push_back(int value) {
  if (!m_pSamples) m_pSamples = std::make_unique_for_overwrite<std::uint8_t[]>(m_nCapacity);
  const auto sample = static_cast<std::uint8_t>(std::clamp(value, 0, 100));
  ++m_nAppended;
  if (m_nCount < m_nCapacity) {
    m_pSamples[Slot(m_nCount)] = sample;
    ++m_nCount;
    return;
  }
  // Full: the oldest slot takes the new sample and the head moves past it.
  m_pSamples[m_nHead] = sample;
  m_nHead = (m_nHead + 1 == m_nCapacity) ? 0 : m_nHead + 1;
}

void CLinkQualityHistory::clear() noexcept {
  m_pSamples.reset();
  m_nHead = 0;
  m_nCount = 0;
}

int CLinkQualityHistory::at(std::size_t index) const {
  if (index >= m_nCount)
    throw std::out_of_range("link-quality history index " + std::to_string(index) + " of " + std::to_string(m_nCount));
  return (*this)[index];
}
