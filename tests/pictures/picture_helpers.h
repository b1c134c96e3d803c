// Test pictures in the forms the decode workers hand over, and scratch folders.
#pragma once

#include <QColor>
#include <QImage>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace orva::pictures::test {

using ColourAt = std::function<QColor(int x, int y)>;  // top-down coordinates

// Bottom-up B,G,R rows, as RGB draw mode keeps a picture.
std::vector<uint8_t> MakeBottomUpBgr(int width, int height, const ColourAt& colour);
// Top-down YV12 (Y, then V, then U), each chroma sample from the 2 x 2 block's
// top-left pixel, with the usual BT.601 studio-swing forward transform.
std::vector<uint8_t> MakeYv12(int width, int height, const ColourAt& colour);

// Largest per-component difference.
int ColourDistance(QColor a, QColor b);
bool IsCyan(QRgb pixel);

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// A fresh folder under the temporary directory, removed with its contents.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::filesystem::path& Path() const { return m_path; }
  std::string File(const std::string& name) const { return (m_path / name).string(); }

 private:
  std::filesystem::path m_path;
};

}  // namespace orva::pictures::test
