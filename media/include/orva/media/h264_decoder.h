// The H.264 decoder library (libH264_Q7.so), loaded by name at run time, and
// CH264Decoder, one decoder instance of it.
//
// The library takes one coded part per call (the 20-byte frame header, then
// H.264 in Annex B form) and writes a planar YV12 picture (luma, V, U) of the
// size it was opened with; field modes 1 and 2 write one field into the even
// or odd lines of a full-height picture. docs/DECODER.md has the contract.
//
// Threads: one CH264Decoder is used by one worker thread at a time, and the
// caller serialises every decoder call and colour conversion of the whole
// client under one global decode lock. H264Library is loaded at start and
// unloaded at exit, while no decoder exists.
#pragma once

#include <cstdint>
#include <string>

namespace orva {

// The six entry points; any may be null (missing export = that operation does nothing).
struct H264Exports {
  void* (*create)(int32_t) = nullptr;
  void (*destroy)(void*) = nullptr;
  int (*open)(void*, int, int) = nullptr;
  int (*flush)(void*) = nullptr;
  int (*decode)(void*, const uint8_t*, int, uint8_t*, int, int32_t*, int) = nullptr;
  void (*convertToRgb)(const uint8_t*, uint8_t*, int, int) = nullptr;
};

// The file name the library is looked up by.
inline constexpr const char* kDecoderLibraryName = "libH264_Q7.so";

class H264Library {
 public:
  H264Library() = default;  // not loaded: every operation a no-op
  ~H264Library();           // unloads
  H264Library(H264Library&& other) noexcept;
  H264Library& operator=(H264Library&& other) noexcept;
  H264Library(const H264Library&) = delete;
  H264Library& operator=(const H264Library&) = delete;

  // Loads by name: `path` when given; otherwise ORVA_DECODER_LIBRARY from the
  // environment, then libH264_Q7.so next to the running executable, then in
  // ../lib/orva7000/ relative to it, then plain dlopen("libH264_Q7.so").
  // Resolves the six exports; a missing one stays null. On failure traces
  // "H264_Q7.Dll not found." and returns false with the loader's error text.
  // Loading again first unloads what was loaded.
  bool Load(const std::string& path, std::string& error);
  // Closes the library and forgets the exports. Every CH264Decoder made from
  // it must be gone by then.
  void Unload();
  // True when a library is loaded or exports were given with FromExports.
  bool Loaded() const;
  const H264Exports& Exports() const { return m_exports; }

  // For tests: use these function pointers instead of a loaded library.
  static H264Library FromExports(const H264Exports& exports);

 private:
  void* m_module = nullptr;  // dlopen handle
  bool m_fromExports = false;
  H264Exports m_exports;
};

// Output capacity passed to every decode: one picture buffer (720 x 576 x 3).
inline constexpr int kDecoderOutputCapacity = 1244160;

// Whether a decode result means pixels were written to the output: a picture
// (1), or as much of a mismatched picture as fits (-4 size, -5 capacity).
// Without a handle or on any other failure the output is left as it was.
inline bool PictureWritten(int result) { return result == 1 || result == -4 || result == -5; }

class CH264Decoder {
 public:
  // Creates a decoder instance (create(0)); without the export, or when it
  // fails, the object has no handle and every operation returns 0. Keeps a
  // copy of the exports: the library must stay loaded while this lives.
  explicit CH264Decoder(const H264Library& library);
  ~CH264Decoder();  // destroys the instance if there is one
  CH264Decoder(const CH264Decoder&) = delete;
  CH264Decoder& operator=(const CH264Decoder&) = delete;

  // Remembers the size and opens the instance for it; 0 without a handle.
  int Open(int width, int height);
  // Opens again with the remembered size.
  int Reopen();
  int Flush();
  // Decodes one part. If width or height differ from the remembered size it
  // first calls Open with the new size. 0 without a handle or decode export.
  int Decode(const uint8_t* input, int length, uint8_t* output, int capacity, int width, int height, int fieldMode);
  // YV12 to 24-bit B,G,R top row first. Returns 1; does nothing when the
  // export is missing.
  int ConvertToRgb(const uint8_t* src, uint8_t* dst, int width, int height);

  bool HasHandle() const { return m_handle != nullptr; }
  int Width() const { return m_nWidth; }
  int Height() const { return m_nHeight; }

 private:
  H264Exports m_exports;
  void* m_handle = nullptr;
  int m_nWidth = 0;  // remembered size; 0 x 0 so that the first Decode opens
  int m_nHeight = 0;
  int32_t m_nUserValue = 0;  // the library may write it; nothing reads it
};

}  // namespace orva
