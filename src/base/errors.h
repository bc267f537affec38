// Error codes.
//
// An ErrCode is a 32-bit identity of one named error; 0 is success. Codes have
// no bit layout: two codes are the same error exactly when they are equal, and
// a code's text is its name (names of words, such as Unknown error, have no
// quotes around them). Codes of different modules with similar names are
// different errors (NOTENOUGHMEM of files is not NOTENOUGHMEMORY of pools).
//
// The whole vocabulary lives in one table below, grouped by module in the
// order of the program's modules. The value of a code is its row number in
// that table plus one; it is only an identity and is never stored in files.
#pragma once

#include <cstdint>

using ErrCode = uint32_t;

enum class EErrModule : uint8_t {
  kBase,
  kSoundFormats,
  kDct,
  kWindowSystem,
  kFile,
  kGraphics,
  kHashIni,
  kCompressed,
  kPool,
  kMemoryDc,
  kEventQueue,
  kResourceCache,
  kPlatformWindow,
  kBitmapFiles,
  kWorldLoading,
  kWorldObjects,
  kScript,
  kValueBase,
};

// X(module, constant, name text)
#define TV_ERROR_TABLE(X)                                                      \
  X(kBase, kUnknownError, "Unknown error")                                     \
  X(kBase, kNotImplementedYet, "Not implemented yet")                          \
  X(kBase, kAllocFail, "ALLOCFAIL")                                            \
  X(kBase, kLockFail, "LOCKFAIL")                                              \
  X(kBase, kReallocFail, "REALLOCFAIL")                                        \
  X(kBase, kNotLocked, "NOTLOCKED")                                            \
  X(kBase, kIndexOutOfRange, "INDEXOUTOFRANGE")                                \
  X(kBase, kBufferTooSmall, "BUFFERTOOSMALL")                                  \
  X(kBase, kBadParams, "BADPARAMS")                                            \
  X(kBase, kOutOfRange, "OUTOFRANGE")                                          \
  X(kBase, kNotFound, "NOTFOUND")                                              \
  X(kBase, kInvalidFormat, "INVALIDFORMAT")                                    \
  X(kBase, kWhatAMess, "WHATAMESS")                                            \
  X(kSoundFormats, kBadSize, "BADSIZE")                                        \
  X(kSoundFormats, kAdpcmBadFormat, "ADPCM_BADFORMAT")                         \
  X(kDct, kDctCompress, "DCTCOMPRESS")                                         \
  X(kWindowSystem, kWindowSystem, "WINDOWSYSTEM")                              \
  X(kFile, kFile, "FILE")                                                      \
  X(kFile, kNotEnoughMem, "NOTENOUGHMEM")                                      \
  X(kFile, kReadFail, "READFAIL")                                              \
  X(kFile, kWriteFail, "WRITEFAIL")                                            \
  X(kFile, kEof, "EOF")                                                        \
  X(kFile, kBadOpenMode, "BADOPENMODE")                                        \
  X(kFile, kSeekFail, "SEEKFAIL")                                              \
  X(kFile, kFileNotFound, "FILENOTFOUND")                                      \
  X(kFile, kBadFileFormat, "BADFILEFORMAT")                                    \
  X(kFile, kOpenFail, "OPENFAIL")                                              \
  X(kFile, kTruncFail, "TRUNCFAIL")                                            \
  X(kFile, kFlushFail, "FLUSHFAIL")                                            \
  X(kFile, kPathNotFound, "PATHNOTFOUND")                                      \
  X(kFile, kAccessDenied, "ACCESSDENIED")                                      \
  X(kFile, kFileExist, "FILEEXIST")                                            \
  X(kFile, kNoMoreFiles, "NOMOREFILES")                                        \
  X(kFile, kNotReady, "NOTREADY")                                              \
  X(kFile, kVolumeNotFound, "VOLUMENOTFOUND")                                  \
  X(kFile, kTooManyOpenFiles, "TOOMANYOPENFILES")                              \
  X(kFile, kWriteProtected, "WRITEPROTECTED")                                  \
  X(kFile, kBadVolume, "BADVOLUME")                                            \
  X(kFile, kDiskFull, "DISKFULL")                                              \
  X(kFile, kSharing, "SHARING")                                                \
  X(kFile, kAlreadyExists, "ALREADYEXISTS")                                    \
  X(kFile, kUnknownPid, "UNKNOWNPID")                                          \
  X(kGraphics, kGraphics, "GRAPHICS")                                          \
  X(kGraphics, kPalNoMem, "PALNOMEM")                                          \
  X(kGraphics, kPalBigIndex, "PALBIGINDEX")                                    \
  X(kGraphics, kBmpBadType, "BMPBADTYPE")                                      \
  X(kGraphics, kBmpNoMem, "BMPNOMEM")                                          \
  X(kGraphics, kBmpNotLocked, "BMPNOTLOCKED")                                  \
  X(kHashIni, kHashIni, "HASHINI")                                             \
  X(kHashIni, kBadFile, "BADFILE")                                             \
  X(kHashIni, kNotInList, "NOTINLIST")                                         \
  X(kCompressed, kNoSuchBitLengths, "NOSUCHBITLENGTHS")                        \
  X(kPool, kPool, "POOL")                                                      \
  X(kPool, kCompacted, "COMPACTED")                                            \
  X(kPool, kOverMaxSize, "OVERMAXSIZE")                                        \
  X(kPool, kNotCreated, "NOTCREATED")                                          \
  X(kPool, kNotPoolFile, "NOTPOOLFILE")                                        \
  X(kPool, kZeroSize, "ZEROSIZE")                                              \
  X(kPool, kNotEnoughMemory, "NOTENOUGHMEMORY")                                \
  X(kPool, kNullPointer, "NULLPOINTER")                                        \
  X(kPool, kSizeOutOfRange, "SIZEOUTOFRANGE")                                  \
  X(kMemoryDc, kMemExceedMaxSize, "MEM_EXCEEDMAXSIZE")                         \
  X(kEventQueue, kMhFullHeap, "MHFULLHEAP")                                    \
  X(kResourceCache, kCrl, "CRL")                                               \
  X(kPlatformWindow, kRegWndClass, "REGWNDCLASS")                              \
  X(kPlatformWindow, kCreatingWnd, "CREATINGWND")                              \
  X(kBitmapFiles, kNoBmpFile, "NOBMPFILE")                                     \
  X(kBitmapFiles, kBmpBadFileFormat, "BMP_BADFILEFORMAT")                      \
  X(kWorldLoading, kNoSuchTemplate,                                            \
    "No such template in the templates directory")                             \
  X(kWorldLoading, kNoLoaderFunction,                                          \
    "No loader function for this type of object")                              \
  X(kWorldObjects, kCapture, "CAPTURE")                                        \
  X(kWorldObjects, kObjTooMany, "OBJTOOMANY")                                  \
  X(kWorldObjects, kInvalidValue, "INVALIDVALUE")                              \
  X(kScript, kNoInit, "NOINIT")                                                \
  X(kScript, kNoSection, "NOSECTION")                                          \
  X(kScript, kNoKey, "NOKEY")                                                  \
  X(kScript, kBadKeyVal, "BADKEYVAL")                                          \
  X(kScript, kSyntax, "SYNTAX")                                                \
  X(kScript, kBadParamString, "BAD_PARAM_STRING")                              \
  X(kScript, kCodeLimits, "CODE_LIMITS")                                       \
  X(kScript, kStackLimits, "STACK_LIMITS")                                     \
  X(kScript, kInvalidCop, "INVALID_COP")                                       \
  X(kScript, kInvalidIndex, "INVALID_INDEX")                                   \
  X(kScript, kInvalidStoff, "INVALID_STOFF")                                   \
  X(kValueBase, kBadFormat, "Bad format")

namespace err {

enum ERow : ErrCode {
#define TV_ERROR_ROW(module, constant, text) constant##Row,
  TV_ERROR_TABLE(TV_ERROR_ROW)
#undef TV_ERROR_ROW
  kRowCount
};

inline constexpr ErrCode kOk = 0;
#define TV_ERROR_CONSTANT(module, constant, text)                              \
  inline constexpr ErrCode constant = constant##Row + 1;
TV_ERROR_TABLE(TV_ERROR_CONSTANT)
#undef TV_ERROR_CONSTANT

}  // namespace err

// The code's name text ("FILENOTFOUND", "Unknown error"); "0" for
// success and "?" for a value that names no error.
const char* ErrName(ErrCode code);

// The module whose table holds the code; false for success and unknown values.
bool ErrModule(ErrCode code, EErrModule* module);

// The code whose name text is `name`, or 0.
ErrCode ErrFromName(const char* name);
