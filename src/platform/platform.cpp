// The back-end choice and the parts of the platform that are the same for
// every back end: directories, the drive list and the single-instance lock.
//
// TARVOLIN_PLATFORM=sdl starts SDL or fails; =headless starts the headless
// back end; unset or empty starts SDL when DISPLAY or WAYLAND_DISPLAY is set
// and SDL comes up, the headless back end otherwise. Any other value is an
// error (WINDOWSYSTEM), so that a mistyped name does not quietly run without
// a screen.
#include "platform/platform.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string_view>

#include "platform/headless_platform.h"
#include "platform/sdl_platform.h"

namespace {

bool HasEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

std::string WithSeparator(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

// The lock lives as long as the open file; closing it releases the lock. The
// file itself stays: removing it could let a newcomer lock a file that a
// third process is just opening under the old name.
class CFileLockMutex final : public CNamedMutex {
 public:
  explicit CFileLockMutex(int descriptor) : m_descriptor(descriptor) {}
  ~CFileLockMutex() override { close(m_descriptor); }
  CFileLockMutex(const CFileLockMutex&) = delete;
  CFileLockMutex& operator=(const CFileLockMutex&) = delete;

 private:
  int m_descriptor;
};

// Mount points in /proc/self/mounts write blanks, tabs, line breaks and
// backslashes as a backslash and three octal digits.
std::string UnescapeMountPath(std::string_view field) {
  std::string path;
  for (size_t i = 0; i < field.size(); ++i) {
    const std::string_view digits = field.substr(i + 1, 3);
    if (field[i] == '\\' && digits.size() == 3 &&
        digits.find_first_not_of("01234567") == std::string_view::npos) {
      path += static_cast<char>((digits[0] - '0') * 64 + (digits[1] - '0') * 8 +
                                (digits[2] - '0'));
      i += 3;
    } else {
      path += field[i];
    }
  }
  return path;
}

bool IsOneOf(std::string_view value,
             std::initializer_list<std::string_view> list) {
  for (std::string_view entry : list)
    if (value == entry) return true;
  return false;
}

bool IsBelow(std::string_view path, std::string_view directory) {
  return path == directory ||
         (path.size() > directory.size() && path.starts_with(directory) &&
          path[directory.size()] == '/');
}

// Whether sysfs calls the block device (or, for a partition, its disk)
// removable.
bool IsRemovableDevice(const std::string& device) {
  char resolved[PATH_MAX];
  if (!realpath(device.c_str(), resolved)) return false;
  const std::string_view path(resolved);
  if (!path.starts_with("/dev/")) return false;
  const std::string block =
      "/sys/class/block/" + std::string(path.substr(path.rfind('/') + 1));
  for (const char* file : {"/removable", "/../removable"}) {
    std::ifstream in(block + file);
    char flag = 0;
    if (in >> flag) return flag == '1';
  }
  return false;
}

uint16_t DriveType(std::string_view device, std::string_view mount_point,
                   std::string_view type) {
  if (IsBelow(mount_point, "/proc") || IsBelow(mount_point, "/sys") ||
      IsBelow(mount_point, "/dev"))
    return 0;
  // squashfs holds the read-only images of installed packages.
  if (IsOneOf(type, {"proc",        "sysfs",    "cgroup",    "cgroup2",
                     "devpts",      "devtmpfs", "mqueue",    "securityfs",
                     "debugfs",     "tracefs",  "pstore",    "bpf",
                     "configfs",    "fusectl",  "hugetlbfs", "autofs",
                     "binfmt_misc", "efivarfs", "selinuxfs", "nsfs",
                     "rpc_pipefs",  "squashfs"}))
    return 0;
  if (IsOneOf(type, {"nfs", "nfs4", "cifs", "smb3", "smbfs", "sshfs",
                     "fuse.sshfs", "9p", "ceph", "afs"}))
    return kDriveRemote;
  if (IsOneOf(type, {"iso9660", "udf"})) return kDriveCdRom;
  if (IsOneOf(type, {"tmpfs", "ramfs"})) return kDriveRamDisk;
  return IsRemovableDevice(std::string(device)) ? kDriveRemovable : kDriveFixed;
}

}  // namespace

std::unique_ptr<CPlatform> CPlatform::Create(ErrCode* error) {
  *error = err::kOk;
  const char* chosen = std::getenv("TARVOLIN_PLATFORM");
  const std::string_view name = chosen ? chosen : "";
  if (name == "headless")
    return std::make_unique<CHeadlessPlatform>(
        SHeadlessOptions::FromEnvironment());
  if (name == "sdl") return CSdlPlatform::Create(error);
  if (!name.empty()) {
    std::fprintf(stderr, "TARVOLIN_PLATFORM: unknown back end \"%s\"\n",
                 chosen);
    *error = err::kWindowSystem;
    return nullptr;
  }
  if (HasEnvironment("DISPLAY") || HasEnvironment("WAYLAND_DISPLAY")) {
    if (auto sdl = CSdlPlatform::Create(error)) return sdl;
    std::fprintf(stderr, "No usable display; running headless.\n");
    *error = err::kOk;
  }
  return std::make_unique<CHeadlessPlatform>(
      SHeadlessOptions::FromEnvironment());
}

// The lock file is opened (created when missing) and locked exclusively
// without waiting. A lock file that cannot be opened gives null with
// `*existed` false.
std::unique_ptr<CNamedMutex> CPlatform::CreateNamedMutex(const char* name,
                                                         bool* existed) {
  *existed = false;
  const std::string path = RuntimeDirectory() + name + ".lock";
  const int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (descriptor < 0) return nullptr;
  if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
    *existed = errno == EWOULDBLOCK;
    close(descriptor);
    return nullptr;
  }
  return std::make_unique<CFileLockMutex>(descriptor);
}

std::string CPlatform::ExecutableDirectory() {
  if (HasEnvironment("TARVOLIN_DIR"))
    return WithSeparator(std::getenv("TARVOLIN_DIR"));
  return InstallationDirectory();
}

std::string CPlatform::InstallationDirectory() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return "./";
  const std::string_view executable(path, static_cast<size_t>(length));
  return std::string(executable.substr(0, executable.rfind('/') + 1));
}

std::string CPlatform::RuntimeDirectory() {
  for (const char* variable : {"XDG_RUNTIME_DIR", "TMPDIR"})
    if (HasEnvironment(variable)) return WithSeparator(std::getenv(variable));
  return "/tmp/";
}

std::string CPlatform::CurrentDirectory() {
  char path[PATH_MAX];
  if (!getcwd(path, sizeof path)) return "/";
  return WithSeparator(path);
}

// Mount points that hold files, each ending in "/"; a path mounted twice is
// listed once, with the type of the mount that hides the other.
std::vector<SDriveRoot> CPlatform::DriveRoots() {
  std::vector<SDriveRoot> roots;
  std::ifstream mounts("/proc/self/mounts");
  std::string line;
  while (std::getline(mounts, line)) {
    std::istringstream fields(line);
    std::string device, mount_point, type;
    if (!(fields >> device >> mount_point >> type)) continue;
    const std::string path = UnescapeMountPath(mount_point);
    const std::string root = WithSeparator(path);
    const uint16_t drive_type = DriveType(device, path, type);
    std::erase_if(roots,
                  [&](const SDriveRoot& entry) { return entry.root == root; });
    if (drive_type) roots.push_back({root, drive_type});
  }
  return roots;
}

void CPlatform::SetScreenSaverAllowed(bool) {}

std::vector<SDisplayMode> CPlatform::DisplayModes() { return {}; }

std::unique_ptr<CAudioInput> CPlatform::OpenAudioInput(ErrCode* error) {
  *error = err::kUnknownError;
  return nullptr;
}

bool CPlatform::AudioSupportsFormat(int device, const SAudioFormat& format) {
  const bool standard_rate = format.rate == 11025 || format.rate == 22050 ||
                             format.rate == 44100;
  return device >= -1 && device < AudioDeviceCount() && standard_rate &&
         (format.channels == 1 || format.channels == 2) &&
         (format.bits == 8 || format.bits == 16);
}
