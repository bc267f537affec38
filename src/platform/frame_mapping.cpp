#include "platform/frame_mapping.h"

#include <algorithm>
#include <cmath>

CFrameMapping::CFrameMapping(int frame_width, int frame_height,
                             int output_width, int output_height,
                             int window_width, int window_height,
                             bool integer_only)
    : m_frame_width(std::max(frame_width, 1)),
      m_frame_height(std::max(frame_height, 1)) {
  if (output_width <= 0 || output_height <= 0) {
    output_width = m_frame_width;
    output_height = m_frame_height;
  }
  if (window_width <= 0 || window_height <= 0) {
    window_width = output_width;
    window_height = output_height;
  }
  const double fit = std::min(double(output_width) / m_frame_width,
                              double(output_height) / m_frame_height);
  m_scale = integer_only ? std::max(1.0, std::floor(fit)) : fit;
  m_rect.width = static_cast<int>(std::lround(m_frame_width * m_scale));
  m_rect.height = static_cast<int>(std::lround(m_frame_height * m_scale));
  m_rect.left = (output_width - m_rect.width) / 2;
  m_rect.top = (output_height - m_rect.height) / 2;
  m_output_per_window_x = double(output_width) / window_width;
  m_output_per_window_y = double(output_height) / window_height;
}

int CFrameMapping::SharpFactor() const {
  return std::max(1, static_cast<int>(std::ceil(m_scale - 1e-9)));
}

bool CFrameMapping::IsWholeScale() const {
  return m_scale >= 1 && std::abs(m_scale - std::round(m_scale)) < 1e-9;
}

void CFrameMapping::FrameFromWindow(double window_x, double window_y,
                                    int* frame_x, int* frame_y) const {
  // A window position stands for the middle of its unit square.
  const double output_x = (window_x + 0.5) * m_output_per_window_x;
  const double output_y = (window_y + 0.5) * m_output_per_window_y;
  *frame_x = static_cast<int>(
      std::floor((output_x - m_rect.left) * m_frame_width / m_rect.width));
  *frame_y = static_cast<int>(
      std::floor((output_y - m_rect.top) * m_frame_height / m_rect.height));
}

void CFrameMapping::WindowFromFrame(int frame_x, int frame_y, int* window_x,
                                    int* window_y) const {
  const double output_x =
      m_rect.left + (frame_x + 0.5) * m_rect.width / m_frame_width;
  const double output_y =
      m_rect.top + (frame_y + 0.5) * m_rect.height / m_frame_height;
  *window_x = static_cast<int>(std::floor(output_x / m_output_per_window_x));
  *window_y = static_cast<int>(std::floor(output_y / m_output_per_window_y));
}
