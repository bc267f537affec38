// Where the frame shows in a window, and how positions translate.
//
// The frame is scaled aspect-correct to the largest size that fits the
// window's output (its drawable pixels) and centred, black around; with
// whole factors only, to the largest whole factor that fits (at least 1).
// Window coordinates, in which the mouse is reported, differ from output
// pixels on high-resolution displays: the output is then a multiple of the
// window's size.
#pragma once

struct SFrameRect {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const SFrameRect&) const = default;
};

class CFrameMapping {
 public:
  CFrameMapping() = default;
  // A zero or negative output or window size counts as the frame's size.
  CFrameMapping(int frame_width, int frame_height, int output_width,
                int output_height, int window_width, int window_height,
                bool integer_only);

  // The frame's place in the output, in output pixels.
  const SFrameRect& Output() const { return m_rect; }
  // Output pixels per frame pixel.
  double Scale() const { return m_scale; }
  // The whole factor the frame is first enlarged by (nearest neighbour)
  // before it is filtered down to its final size: the scale rounded up.
  // Equal to Scale() when the scale is whole.
  int SharpFactor() const;
  bool IsWholeScale() const;

  // The frame pixel under a window position; positions outside the frame
  // give coordinates outside it, without clamping.
  void FrameFromWindow(double window_x, double window_y, int* frame_x,
                       int* frame_y) const;
  // The window position over the centre of a frame pixel.
  void WindowFromFrame(int frame_x, int frame_y, int* window_x,
                       int* window_y) const;

 private:
  int m_frame_width = 1, m_frame_height = 1;
  SFrameRect m_rect{0, 0, 1, 1};
  double m_scale = 1;
  double m_output_per_window_x = 1, m_output_per_window_y = 1;
};
