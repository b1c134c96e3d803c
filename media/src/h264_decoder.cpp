#include "orva/media/h264_decoder.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <utility>
#include <vector>

#include "orva/link/trace.h"

namespace orva {
namespace {

// Directory of the running executable, with a trailing '/'; empty if unknown.
std::string ExecutableDirectory() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (length <= 0) return {};
  std::string text(path, static_cast<size_t>(length));
  const size_t slash = text.rfind('/');
  return slash == std::string::npos ? std::string() : text.substr(0, slash + 1);
}

std::vector<std::string> Candidates(const std::string& path) {
  if (!path.empty()) return {path};
  std::vector<std::string> names;
  if (const char* fromEnvironment = std::getenv("ORVA_DECODER_LIBRARY"); fromEnvironment && *fromEnvironment)
    names.emplace_back(fromEnvironment);
  const std::string directory = ExecutableDirectory();
  if (!directory.empty()) {
    names.push_back(directory + kDecoderLibraryName);
    names.push_back(directory + "../lib/orva7000/" + kDecoderLibraryName);
  }
  names.emplace_back(kDecoderLibraryName);  // the loader's own search path
  return names;
}

template <typename Function>
void Resolve(void* module, const char* name, Function& target) {
  void* symbol = dlsym(module, name);
  if (!symbol) Trace("H264_Q7: export %s missing.\n", name);
  // POSIX guarantees that object and function pointers convert both ways.
  target = reinterpret_cast<Function>(symbol);
}

}  // namespace

H264Library::~H264Library() { Unload(); }

H264Library::H264Library(H264Library&& other) noexcept
    : m_module(std::exchange(other.m_module, nullptr)),
      m_fromExports(std::exchange(other.m_fromExports, false)),
      m_exports(std::exchange(other.m_exports, H264Exports{})) {}

H264Library& H264Library::operator=(H264Library&& other) noexcept {
  if (this != &other) {
    Unload();
    m_module = std::exchange(other.m_module, nullptr);
    m_fromExports = std::exchange(other.m_fromExports, false);
    m_exports = std::exchange(other.m_exports, H264Exports{});
  }
  return *this;
}

bool H264Library::Load(const std::string& path, std::string& error) {
  Unload();
  error.clear();
  for (const std::string& name : Candidates(path)) {
    // Kept mapped after dlclose: the codec libraries it pulls in keep
    // process-wide state of their own, and leak reports must still resolve.
    void* module = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (module) {
      m_module = module;
      Resolve(module, "zerta_h264_decoder_create", m_exports.create);
      Resolve(module, "zerta_h264_decoder_destroy", m_exports.destroy);
      Resolve(module, "zerta_h264_decoder_open", m_exports.open);
      Resolve(module, "zerta_h264_decoder_flush", m_exports.flush);
      Resolve(module, "zerta_h264_decoder_decode", m_exports.decode);
      Resolve(module, "zertalib_convertYV12toRGB24", m_exports.convertToRgb);
      error.clear();
      return true;
    }
    const char* reason = dlerror();
    if (!error.empty()) error += "; ";
    error += reason ? reason : name + ": cannot be loaded";
  }
  Trace("H264_Q7.Dll not found.\n");
  return false;
}

void H264Library::Unload() {
  m_exports = H264Exports{};
  m_fromExports = false;
  if (m_module) dlclose(m_module);
  m_module = nullptr;
}

bool H264Library::Loaded() const { return m_module != nullptr || m_fromExports; }

H264Library H264Library::FromExports(const H264Exports& exports) {
  H264Library library;
  library.m_exports = exports;
  library.m_fromExports = true;
  return library;
}

CH264Decoder::CH264Decoder(const H264Library& library) : m_exports(library.Exports()) {
  if (m_exports.create) m_handle = m_exports.create(0);
}

CH264Decoder::~CH264Decoder() {
  if (m_handle && m_exports.destroy) m_exports.destroy(m_handle);
}

int CH264Decoder::Open(int width, int height) {
  m_nWidth = width;
  m_nHeight = height;
  if (!m_handle || !m_exports.open) return 0;
  return m_exports.open(m_handle, width, height);
}

int CH264Decoder::Reopen() { return Open(m_nWidth, m_nHeight); }

int CH264Decoder::Flush() {
  if (!m_handle || !m_exports.flush) return 0;
  return m_exports.flush(m_handle);
}

int CH264Decoder::Decode(const uint8_t* input, int length, uint8_t* output, int capacity, int width, int height,
                         int fieldMode) {
  if (!m_handle) return 0;
  if (width != m_nWidth || height != m_nHeight) Open(width, height);
  if (!m_exports.decode) return 0;
  return m_exports.decode(m_handle, input, length, output, capacity, &m_nUserValue, fieldMode);
}

int CH264Decoder::ConvertToRgb(const uint8_t* src, uint8_t* dst, int width, int height) {
  if (m_exports.convertToRgb) m_exports.convertToRgb(src, dst, width, height);
  return 1;
}

}  // namespace orva
