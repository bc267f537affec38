// The engine's entry point.
#include <cstdio>

#include "app/application.h"
#include "base/log.h"

int main(int argc, char** argv) {
  ErrCode error = err::kOk;
  std::unique_ptr<CPlatform> platform = CPlatform::Create(&error);
  if (!platform) {
    std::fprintf(stderr, "Error: no platform can start (%s)\n", ErrName(error));
    return 0;
  }
  CApplication application(std::move(platform), IsToolCommandLine(argc, argv));
  return application.Run();
}
