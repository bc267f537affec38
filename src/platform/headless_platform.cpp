#include "platform/headless_platform.h"

#include <poll.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <utility>

#include "base/log.h"
#include "platform/virtual_keys.h"

namespace {

// Words of one script line, and what is left of it.
class CLineReader {
 public:
  explicit CLineReader(std::string_view line) : m_rest(line) {}

  std::string_view Word() {
    SkipBlanks();
    const size_t end = std::min(m_rest.find_first_of(" \t"), m_rest.size());
    const std::string_view word = m_rest.substr(0, end);
    m_rest.remove_prefix(end);
    return word;
  }
  std::string_view Rest() {
    SkipBlanks();
    return m_rest;
  }
  bool AtEnd() { return Rest().empty(); }

 private:
  void SkipBlanks() {
    m_rest.remove_prefix(
        std::min(m_rest.find_first_not_of(" \t"), m_rest.size()));
  }
  std::string_view m_rest;
};

// Decimal, or hexadecimal after "0x".
bool ParseNumber(std::string_view word, uint64_t limit, uint64_t* value) {
  int base = 10;
  if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
    word.remove_prefix(2);
    base = 16;
  }
  const char* end = word.data() + word.size();
  const auto result = std::from_chars(word.data(), end, *value, base);
  return !word.empty() && result.ec == std::errc() && result.ptr == end &&
         *value <= limit;
}

// A signed decimal number that fits the type.
template <typename TNumber>
bool ParseSigned(std::string_view word, TNumber* value) {
  const char* end = word.data() + word.size();
  const auto result = std::from_chars(word.data(), end, *value);
  return !word.empty() && result.ec == std::errc() && result.ptr == end;
}

// A key's character: one character as it is, or its number.
bool ParseCharacter(std::string_view word, uint16_t* character) {
  std::vector<uint32_t> code_points;
  if (DecodeUtf8(word, &code_points) && code_points.size() == 1) {
    if (code_points[0] > 0xFF) return false;
    *character = static_cast<uint16_t>(code_points[0]);
    return true;
  }
  uint64_t number = 0;
  if (!ParseNumber(word, 0xFF, &number)) return false;
  *character = static_cast<uint16_t>(number);
  return true;
}

bool ParseModifier(std::string_view word, uint32_t* modifiers) {
  if (word == "+ctrl")
    *modifiers |= kModControl;
  else if (word == "+alt")
    *modifiers |= kModAlt;
  else if (word == "+shift")
    *modifiers |= kModShift;
  else
    return false;
  return true;
}

struct SVerb {
  const char* name;
  EPlatformMessage kind;
};

constexpr SVerb kMouseVerbs[] = {
    {"move", EPlatformMessage::kMouseMove},
    {"ldown", EPlatformMessage::kLeftDown},
    {"lup", EPlatformMessage::kLeftUp},
    {"ldbl", EPlatformMessage::kLeftDouble},
    {"rdown", EPlatformMessage::kRightDown},
    {"rup", EPlatformMessage::kRightUp},
    {"rdbl", EPlatformMessage::kRightDouble},
    {"wheel", EPlatformMessage::kWheel},  // then <steps>
};

// Verbs without arguments.
constexpr SVerb kBareVerbs[] = {
    {"quit", EPlatformMessage::kQuit},
    {"close", EPlatformMessage::kClose},
    {"activate", EPlatformMessage::kActivate},
    {"deactivate", EPlatformMessage::kDeactivate},
    {"focus", EPlatformMessage::kFocusGained},
    {"blur", EPlatformMessage::kFocusLost},
};

// Verbs whose argument is a file name.
constexpr SVerb kFileVerbs[] = {
    {"shot", EPlatformMessage::kShot},
    {"dump", EPlatformMessage::kDump},
};

struct SAnswerName {
  const char* name;
  int id;
};

constexpr SAnswerName kAnswerNames[] = {
    {"ok", kIdOk},       {"cancel", kIdCancel}, {"abort", kIdAbort},
    {"retry", kIdRetry}, {"ignore", kIdIgnore}, {"yes", kIdYes},
    {"no", kIdNo},
};

void AddMessage(const SPlatformMessage& message,
                std::vector<SInputEvent>* events) {
  SInputEvent event;
  event.message = message;
  events->push_back(std::move(event));
}

bool ParseMouse(EPlatformMessage kind, CLineReader& reader,
                std::vector<SInputEvent>* events) {
  SPlatformMessage message;
  message.kind = kind;
  if (!ParseSigned(reader.Word(), &message.x) ||
      !ParseSigned(reader.Word(), &message.y))
    return false;
  if (kind == EPlatformMessage::kWheel &&
      !ParseSigned(reader.Word(), &message.steps))
    return false;
  while (!reader.AtEnd())
    if (!ParseModifier(reader.Word(), &message.modifiers)) return false;
  AddMessage(message, events);
  return true;
}

bool ParseKey(EPlatformMessage kind, CLineReader& reader,
              std::vector<SInputEvent>* events) {
  SPlatformMessage message;
  message.kind = kind;
  const std::string_view key = reader.Word();
  uint64_t virtual_key = 0;
  if (!ParseNumber(key, 0xFFFF, &virtual_key)) {
    virtual_key = VirtualKeyByName(key);
    if (!virtual_key) return false;
  }
  message.virtual_key = static_cast<uint16_t>(virtual_key);
  message.character = KeyCharacter(message.virtual_key);
  std::string_view word = reader.Word();
  if (!word.empty() && (word[0] != '+' || word.size() == 1)) {
    if (!ParseCharacter(word, &message.character)) return false;
    word = reader.Word();
  }
  for (; !word.empty(); word = reader.Word())
    if (!ParseModifier(word, &message.modifiers)) return false;
  AddMessage(message, events);
  if (kind != EPlatformMessage::kKeyDown) return true;
  const uint16_t typed =
      TypedControlCharacter(message.virtual_key, message.modifiers);
  if (typed) {
    SPlatformMessage character;
    character.kind = EPlatformMessage::kChar;
    character.character = typed;
    character.modifiers = message.modifiers;
    AddMessage(character, events);
  }
  return true;
}

bool ParseText(CLineReader& reader, std::vector<SInputEvent>* events) {
  std::vector<uint32_t> code_points;
  if (!DecodeUtf8(reader.Rest(), &code_points) || code_points.empty())
    return false;
  for (uint32_t code : code_points) {
    if (code > 0xFF) return false;
    SPlatformMessage message;
    message.kind = EPlatformMessage::kChar;
    message.character = static_cast<uint16_t>(code);
    AddMessage(message, events);
  }
  return true;
}

// The message of a verb that gives exactly one.
bool ParseMessage(std::string_view verb, CLineReader& reader,
                  SPlatformMessage* message) {
  for (const SVerb& bare : kBareVerbs)
    if (verb == bare.name) {
      message->kind = bare.kind;
      return reader.AtEnd();
    }
  for (const SVerb& file : kFileVerbs)
    if (verb == file.name) {
      message->kind = file.kind;
      message->text = std::string(reader.Rest());
      return !message->text.empty();
    }
  if (verb == "resize") {
    message->kind = EPlatformMessage::kResize;
    return ParseSigned(reader.Word(), &message->x) &&
           ParseSigned(reader.Word(), &message->y) && message->x >= 0 &&
           message->y >= 0 && reader.AtEnd();
  }
  if (verb == "menu") {
    message->kind = EPlatformMessage::kMenu;
    uint64_t command = 0;
    if (!ParseNumber(reader.Word(), UINT32_MAX, &command)) return false;
    message->command = static_cast<uint32_t>(command);
    return reader.AtEnd();
  }
  return false;
}

// Text with \n, \t and \\ resolved; false at any other backslash.
bool Unescape(std::string_view text, std::string* resolved) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      *resolved += text[i];
      continue;
    }
    if (++i == text.size()) return false;
    if (text[i] == 'n')
      *resolved += '\n';
    else if (text[i] == 't')
      *resolved += '\t';
    else if (text[i] == '\\')
      *resolved += '\\';
    else
      return false;
  }
  return true;
}

// A verb that acts inside the platform.
bool ParseAction(std::string_view verb, CLineReader& reader,
                 SInputEvent* event) {
  if (verb == "clip") {
    event->action = EInputAction::kClip;
    std::string utf8;
    if (!Unescape(reader.Rest(), &utf8) || utf8.empty()) return false;
    event->text = ClipboardFromUtf8(utf8);
    return true;
  }
  if (verb == "clipsave") {
    event->action = EInputAction::kClipSave;
    event->text = std::string(reader.Rest());
    return !event->text.empty();
  }
  if (verb == "answer") {
    event->action = EInputAction::kAnswer;
    const std::string_view name = reader.Word();
    if (!reader.AtEnd()) return false;
    for (const SAnswerName& answer : kAnswerNames)
      if (name == answer.name) {
        event->answer = answer.id;
        return true;
      }
  }
  return false;
}

bool IsAction(std::string_view verb) {
  return verb == "clip" || verb == "clipsave" || verb == "answer";
}

// The events of one line without its comment, their times not yet set;
// false when it cannot be read.
bool ParseLine(std::string_view line, uint64_t* time_ms,
               std::vector<SInputEvent>* events) {
  CLineReader reader(line);
  if (!ParseNumber(reader.Word(), UINT32_MAX, time_ms)) return false;
  const std::string_view verb = reader.Word();
  for (const SVerb& mouse : kMouseVerbs)
    if (verb == mouse.name) return ParseMouse(mouse.kind, reader, events);
  if (verb == "key")
    return ParseKey(EPlatformMessage::kKeyDown, reader, events);
  if (verb == "keyup")
    return ParseKey(EPlatformMessage::kKeyUp, reader, events);
  if (verb == "text") return ParseText(reader, events);
  SInputEvent event;
  if (IsAction(verb) ? !ParseAction(verb, reader, &event)
                     : !ParseMessage(verb, reader, &event.message))
    return false;
  events->push_back(std::move(event));
  return true;
}

SPlatformMessage QuitMessage() {
  SPlatformMessage message;
  message.kind = EPlatformMessage::kQuit;
  return message;
}

std::string_view WithoutComment(std::string_view line) {
  line = line.substr(0, line.find('#'));
  while (!line.empty() && std::strchr(" \t\r", line.back()))
    line.remove_suffix(1);
  return line;
}

}  // namespace

SHeadlessOptions SHeadlessOptions::FromEnvironment() {
  SHeadlessOptions options;
  if (const char* script = std::getenv("TARVOLIN_INPUT"))
    options.script_path = script;
  if (const char* idle = std::getenv("TARVOLIN_IDLE_QUIT_MS")) {
    uint64_t value = 0;
    if (ParseNumber(idle, UINT32_MAX, &value))
      options.idle_quit_ms = static_cast<uint32_t>(value);
    else
      std::fprintf(stderr, "TARVOLIN_IDLE_QUIT_MS: \"%s\" is no number\n",
                   idle);
  }
  const char* realtime = std::getenv("TARVOLIN_HEADLESS_REALTIME");
  options.realtime = realtime && std::strcmp(realtime, "1") == 0;
  if (const char* audio_out = std::getenv("TARVOLIN_AUDIO_OUT"))
    options.audio_out_path = audio_out;
  if (const char* audio_in = std::getenv("TARVOLIN_AUDIO_IN"))
    options.audio_in_path = audio_in;
  return options;
}

std::vector<SInputEvent> ParseInputScript(std::string_view text,
                                          std::string_view file_name) {
  std::vector<SInputEvent> events;
  int line_number = 0;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    const std::string_view raw = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    ++line_number;
    const std::string_view line = WithoutComment(raw);
    if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
    uint64_t time_ms = 0;
    std::vector<SInputEvent> parsed;
    if (!ParseLine(line, &time_ms, &parsed)) {
      std::fprintf(stderr, "%.*s:%d: warning: input line skipped: %.*s\n",
                   static_cast<int>(file_name.size()), file_name.data(),
                   line_number, static_cast<int>(line.size()), line.data());
      continue;
    }
    for (SInputEvent& event : parsed) {
      event.time_ms = time_ms;
      events.push_back(std::move(event));
    }
  }
  std::stable_sort(events.begin(), events.end(),
                   [](const SInputEvent& a, const SInputEvent& b) {
                     return a.time_ms < b.time_ms;
                   });
  return events;
}

CHeadlessWindow::CHeadlessWindow(CHeadlessPlatform* platform, int width,
                                 int height)
    : m_platform(platform), m_frame(width, height) {}

CHeadlessWindow::~CHeadlessWindow() { m_platform->Forget(this); }

void CHeadlessWindow::SetPalette(std::span<const SRgb> colors) {
  m_palette.fill(SRgb{});
  std::copy_n(colors.begin(), std::min(colors.size(), m_palette.size()),
              m_palette.begin());
}

void CHeadlessWindow::Present(const uint8_t* pixels, int width, int height,
                              int pitch, std::span<const TRect> rects) {
  m_frame.Update(pixels, width, height, pitch, rects);
  ++m_present_count;
}

void CHeadlessWindow::SetCursorImage(const SCursorImage* image) {
  m_cursor_image = image != nullptr;
}

SPresentedFrame CHeadlessWindow::Presented() const {
  return {m_frame.Width(), m_frame.Height(), m_frame.Pixels().data(),
          m_palette.data()};
}

void CHeadlessWindow::WarpMouse(int x, int y) {
  SPlatformMessage message;
  message.kind = EPlatformMessage::kMouseMove;
  message.window = this;
  message.x = static_cast<int16_t>(x);
  message.y = static_cast<int16_t>(y);
  m_platform->Post(message);
}

bool CHeadlessWindow::SetFullScreen(bool full) {
  m_full_screen = full;
  return true;
}

CHeadlessPlatform::CHeadlessPlatform(const SHeadlessOptions& options)
    : m_options(options), m_start(std::chrono::steady_clock::now()) {
  if (!m_options.script_path.empty()) {
    std::ifstream in(m_options.script_path, std::ios::binary);
    if (in) {
      const std::string text{std::istreambuf_iterator<char>(in),
                             std::istreambuf_iterator<char>()};
      m_script = ParseInputScript(text, m_options.script_path);
    } else {
      std::fprintf(stderr, "%s: warning: cannot read the input script\n",
                   m_options.script_path.c_str());
    }
  }
  m_idle_quit_time =
      (m_script.empty() ? 0 : m_script.back().time_ms) + m_options.idle_quit_ms;
}

int CHeadlessPlatform::MessageBox(const char* caption, const char* text,
                                  uint32_t flags) {
  const int standard = StderrMessageBox(caption, text, flags);
  return m_answer ? std::exchange(m_answer, 0) : standard;
}

std::vector<SDisplayMode> CHeadlessPlatform::DisplayModes() {
  return {{640, 480, 32, 60}};
}

uint32_t CHeadlessPlatform::TickCount() {
  FollowWallClock();
  return static_cast<uint32_t>(m_now_ms);
}

uint64_t CHeadlessPlatform::HighResCounter() {
  FollowWallClock();
  return m_now_ms * 1000;
}

bool CHeadlessPlatform::PeekMessage(SPlatformMessage* message) {
  if (!CollectDue()) return false;
  *message = std::move(m_queue.front().message);
  m_queue.pop_front();
  if (message->kind != EPlatformMessage::kQuit) message->window = m_window;
  return true;
}

void CHeadlessPlatform::WaitMessage(uint32_t timeout_ms) {
  if (CollectDue()) return;
  uint64_t due = 0;
  const bool has_due = NextDueTime(&due);
  if (!m_options.realtime) {
    if (timeout_ms != kWaitForever)
      m_now_ms = has_due ? std::min(due, m_now_ms + timeout_ms)
                         : m_now_ms + timeout_ms;
    else if (has_due)
      m_now_ms = due;
    return;
  }
  uint64_t wait_ms = timeout_ms == kWaitForever ? UINT64_MAX : timeout_ms;
  if (has_due) wait_ms = std::min(wait_ms, due - m_now_ms);
  pollfd wake{m_quit_signal.WakeDescriptor(), POLLIN, 0};
  poll(&wake, 1,
       wait_ms == UINT64_MAX
           ? -1
           : static_cast<int>(std::min<uint64_t>(wait_ms, INT_MAX)));
}

void CHeadlessPlatform::PostQuit() { Post(QuitMessage()); }

void CHeadlessPlatform::Post(const SPlatformMessage& message) {
  SInputEvent event;
  event.message = message;
  m_queue.push_back(std::move(event));
}

std::unique_ptr<CPlatformWindow> CHeadlessPlatform::CreateWindow(
    int width, int height, ErrCode* error) {
  if (width <= 0 || height <= 0) {
    *error = err::kCreatingWnd;
    return nullptr;
  }
  *error = err::kOk;
  auto window = std::make_unique<CHeadlessWindow>(this, width, height);
  m_window = window.get();
  return window;
}

void CHeadlessPlatform::Forget(CHeadlessWindow* window) {
  if (m_window == window) m_window = nullptr;
}

void CHeadlessPlatform::FollowWallClock() {
  if (!m_options.realtime) return;
  m_now_ms = static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - m_start)
          .count());
}

bool CHeadlessPlatform::CollectDue() {
  FollowWallClock();
  if (m_quit_signal.Take()) Post(QuitMessage());
  for (; m_next_event < m_script.size() &&
         m_script[m_next_event].time_ms <= m_now_ms;
       ++m_next_event)
    m_queue.push_back(m_script[m_next_event]);
  if (!m_idle_quit_sent && m_next_event == m_script.size() &&
      m_now_ms >= m_idle_quit_time) {
    m_idle_quit_sent = true;
    Post(QuitMessage());
  }
  while (!m_queue.empty() && m_queue.front().action != EInputAction::kMessage) {
    Perform(m_queue.front());
    m_queue.pop_front();
  }
  return !m_queue.empty();
}

void CHeadlessPlatform::Perform(const SInputEvent& action) {
  switch (action.action) {
    case EInputAction::kClip:
      m_clipboard = action.text;
      break;
    case EInputAction::kClipSave: {
      std::ofstream out(action.text, std::ios::binary);
      out << ClipboardToUtf8(m_clipboard);
      out.close();
      if (!out)
        std::fprintf(stderr, "%s: warning: cannot write the clipboard\n",
                     action.text.c_str());
      break;
    }
    case EInputAction::kAnswer:
      m_answer = action.answer;
      break;
    case EInputAction::kMessage:
      break;
  }
}

bool CHeadlessPlatform::NextDueTime(uint64_t* time_ms) const {
  if (m_next_event < m_script.size()) {
    *time_ms = m_script[m_next_event].time_ms;
    return true;
  }
  if (m_idle_quit_sent) return false;
  *time_ms = m_idle_quit_time;
  return true;
}

std::string CHeadlessPlatform::AudioDeviceName(int device) {
  return device == 0 ? "Null audio device" : "";
}

std::unique_ptr<CAudioOutput> CHeadlessPlatform::OpenAudio(
    int device, const SAudioFormat& format, ErrCode* error) {
  if (!AudioSupportsFormat(device, format)) {
    *error = err::kUnknownError;
    return nullptr;
  }
  std::unique_ptr<CWavWriter> record;
  if (!m_options.audio_out_path.empty()) {
    CWavWriter::SHeader header;
    header.channels = format.channels;
    header.rate = format.rate;
    header.bits = format.bits;
    record = CWavWriter::Create(m_options.audio_out_path, header);
    if (!record)
      std::fprintf(stderr, "%s: warning: cannot write the sound\n",
                   m_options.audio_out_path.c_str());
  }
  *error = err::kOk;
  return std::make_unique<CNullAudioOutput>(this, format, std::move(record));
}

std::unique_ptr<CAudioInput> CHeadlessPlatform::OpenAudioInput(ErrCode* error) {
  std::vector<uint8_t> samples;
  if (!m_options.audio_in_path.empty()) {
    std::ifstream in(m_options.audio_in_path, std::ios::binary);
    const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>()};
    if (!ReadPcmWav(file, kAudioInputFormat, &samples)) {
      std::fprintf(stderr, "%s: not a 22050 Hz 16-bit mono PCM WAV file\n",
                   m_options.audio_in_path.c_str());
      *error = err::kUnknownError;
      return nullptr;
    }
  }
  *error = err::kOk;
  return std::make_unique<CHeadlessAudioInput>(this, std::move(samples));
}

CHeadlessAudioInput::CHeadlessAudioInput(CPlatform* clock, std::vector<uint8_t> samples)
    : m_clock(clock), m_source(std::move(samples)), m_opened(clock->TickCount()) {}

void CHeadlessAudioInput::Read(std::vector<uint8_t>* samples) {
  const uint64_t due = uint64_t{m_clock->TickCount() - m_opened} * kAudioInputFormat.rate /
                       1000 * kAudioInputFormat.FrameBytes();
  const uint64_t heard = std::min<uint64_t>(due, m_source.size());
  if (m_delivered < heard)
    samples->insert(samples->end(), m_source.begin() + static_cast<ptrdiff_t>(m_delivered),
                    m_source.begin() + static_cast<ptrdiff_t>(heard));
  samples->resize(samples->size() + (due - std::max(m_delivered, heard)), 0);
  m_delivered = due;
}

CNullAudioOutput::CNullAudioOutput(CPlatform* clock, const SAudioFormat& format,
                                   std::unique_ptr<CWavWriter> record)
    : m_clock(clock), m_format(format), m_record(std::move(record)) {}

uint64_t CNullAudioOutput::NowMicroseconds() {
  return m_clock->HighResCounter() * 1000000 / m_clock->HighResFrequency();
}

ErrCode CNullAudioOutput::Write(const void* data, uint32_t size) {
  m_scratch.assign(static_cast<const uint8_t*>(data),
                   static_cast<const uint8_t*>(data) + size);
  ApplyAudioVolume(m_format, m_left, m_right, m_scratch.data(), size);
  if (m_record) m_record->Write(m_scratch.data(), size);
  const uint64_t start = std::max(NowMicroseconds(), m_ends.empty() ? 0 : m_ends.back());
  const uint64_t frames = size / m_format.FrameBytes();
  m_ends.push_back(start + frames * 1000000 / m_format.rate);
  return err::kOk;
}

uint32_t CNullAudioOutput::PendingBuffers() {
  const uint64_t now = NowMicroseconds();
  while (!m_ends.empty() && m_ends.front() <= now) m_ends.pop_front();
  return static_cast<uint32_t>(m_ends.size());
}

void CNullAudioOutput::Reset() { m_ends.clear(); }

void CNullAudioOutput::GetVolume(uint16_t* left, uint16_t* right) {
  *left = m_left;
  *right = m_right;
}

void CNullAudioOutput::SetVolume(uint16_t left, uint16_t right) {
  m_left = left;
  m_right = right;
}
