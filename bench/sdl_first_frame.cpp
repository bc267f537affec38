// The least an SDL program does to put one 640 x 480 frame on the screen:
// start SDL's video, open a window, stream one picture into a texture and
// present it. Once the frame is presented it writes the line "present" to the
// file named by its argument (a FIFO the benchmark reads), and waits, as a
// game would, until SIGTERM (which SDL turns into its quit event) ends it.
//
//   sdl_first_frame <file>
#include <SDL.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

struct SSdlQuit {
  ~SSdlQuit() { SDL_Quit(); }
};
struct SWindowDestroy {
  void operator()(SDL_Window* window) const { SDL_DestroyWindow(window); }
};
struct SRendererDestroy {
  void operator()(SDL_Renderer* renderer) const { SDL_DestroyRenderer(renderer); }
};
struct STextureDestroy {
  void operator()(SDL_Texture* texture) const { SDL_DestroyTexture(texture); }
};
struct SFileClose {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

bool PresentAndWaitForQuit(std::FILE* report) {
  std::unique_ptr<SDL_Window, SWindowDestroy> window(
      SDL_CreateWindow("", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, kWidth, kHeight, 0));
  if (!window) return false;
  std::unique_ptr<SDL_Renderer, SRendererDestroy> renderer(
      SDL_CreateRenderer(window.get(), -1, 0));
  if (!renderer) return false;
  std::unique_ptr<SDL_Texture, STextureDestroy> texture(
      SDL_CreateTexture(renderer.get(), SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                        kWidth, kHeight));
  const std::vector<uint32_t> picture(size_t{kWidth} * kHeight, 0xFF285078);
  if (!texture ||
      SDL_UpdateTexture(texture.get(), nullptr, picture.data(), kWidth * 4) != 0 ||
      SDL_RenderCopy(renderer.get(), texture.get(), nullptr, nullptr) != 0)
    return false;
  SDL_RenderPresent(renderer.get());
  std::fputs("present\n", report);
  std::fflush(report);
  SDL_Event event;
  while (SDL_WaitEvent(&event) && event.type != SDL_QUIT) {
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: sdl_first_frame <file>\n");
    return 2;
  }
  const std::unique_ptr<std::FILE, SFileClose> report(std::fopen(argv[1], "w"));
  if (!report || SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
  const SSdlQuit quit;
  return PresentAndWaitForQuit(report.get()) ? 0 : 1;
}
