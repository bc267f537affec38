#include "app/messages.h"

#include <cstdio>

#include "base/log.h"
#include "store/hash_ini.h"

namespace {

constexpr const char* kSection = "Messages";
constexpr size_t kCaptionSize = 256;

struct SMessageState {
  const CHashIni* config = nullptr;
  char caption[kCaptionSize] = "Error";
  char text[1024] = {};
};

SMessageState& State() {
  static SMessageState state;
  return state;
}

}  // namespace

void SetMessageConfig(const CHashIni* config) {
  SMessageState& state = State();
  state.config = config;
  std::snprintf(state.caption, kCaptionSize, "Error");
  if (config)
    config->GetStringCopy(kSection, "Error", state.caption, kCaptionSize);
}

const char* GetMessageText(const char* key) {
  SMessageState& state = State();
  if (!state.config) return key;
  const char* text = state.config->GetString(kSection, key);
  std::snprintf(state.text, sizeof state.text, "%s\n", text ? text : key);
  return state.text;
}

const char* MessageCaption() { return State().caption; }

void ShowStartupMessage(const char* key) {
  ShowMessageBox(MessageCaption(), GetMessageText(key), kMbOk);
}
