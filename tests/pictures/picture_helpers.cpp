#include "picture_helpers.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace orva::pictures::test {

std::vector<uint8_t> MakeBottomUpBgr(int width, int height, const ColourAt& colour) {
  std::vector<uint8_t> out(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = out.data() + static_cast<size_t>(height - 1 - y) * width * 3;
    for (int x = 0; x < width; ++x) {
      const QColor c = colour(x, y);
      row[x * 3 + 0] = static_cast<uint8_t>(c.blue());
      row[x * 3 + 1] = static_cast<uint8_t>(c.green());
      row[x * 3 + 2] = static_cast<uint8_t>(c.red());
    }
  }
  return out;
}

std::vector<uint8_t> MakeYv12(int width, int height, const ColourAt& colour) {
  const size_t luma = static_cast<size_t>(width) * height;
  std::vector<uint8_t> out(luma * 3 / 2);
  uint8_t* v = out.data() + luma;
  uint8_t* u = v + luma / 4;
  auto clamp = [](double value) { return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L)); };
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const QColor c = colour(x, y);
      const double r = c.red(), g = c.green(), b = c.blue();
      out[static_cast<size_t>(y) * width + x] = clamp(16 + 0.257 * r + 0.504 * g + 0.098 * b);
      if (x % 2 == 0 && y % 2 == 0) {
        const size_t at = static_cast<size_t>(y / 2) * (width / 2) + x / 2;
        u[at] = clamp(128 - 0.148 * r - 0.291 * g + 0.439 * b);
        v[at] = clamp(128 + 0.439 * r - 0.368 * g - 0.071 * b);
      }
    }
  }
  return out;
}

int ColourDistance(QColor a, QColor b) {
  return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

bool IsCyan(QRgb pixel) { return qRed(pixel) == 0 && qGreen(pixel) == 255 && qBlue(pixel) == 255; }

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

ScratchDir::ScratchDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "orva_pictures_XXXXXX").string();
  if (char* made = mkdtemp(templ.data())) m_path = made;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
}

}  // namespace orva::pictures::test
