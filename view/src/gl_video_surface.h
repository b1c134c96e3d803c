// The YUV draw path: an OpenGL surface over the whole view. Each channel's
// YV12 picture goes up as three single-channel textures, a fragment shader
// converts BT.601 limited range to RGB, and each visible pane is one quad
// whose texture coordinates leave out the cropped lines. Fixed pictures
// and texts are drawn over it with QPainter.
#pragma once

#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLVertexArrayObject>
#include <QOpenGLWidget>
#include <array>
#include <memory>

#include "orva/view/video_view.h"

namespace orva::view {

class GlVideoSurface : public QOpenGLWidget, protected QOpenGLFunctions {
  Q_OBJECT
 public:
  explicit GlVideoSurface(CVideoView& view);
  ~GlVideoSurface() override;

  bool Ready() const { return m_ready; }

 protected:
  void initializeGL() override;
  void paintGL() override;

 private:
  struct ChannelTextures {
    std::array<GLuint, 3> id{};  // Y, U, V; an RGB picture uses id[0] alone
    int width = 0, height = 0;
    bool rgb = false;
    uint64_t pictures = ~0ull, serial = ~0ull;
  };
  // Uploads the channel's picture when it changed; false when its size is unusable.
  bool Upload(int channel, ChannelTextures& t);
  void ReleaseTextures();
  // The context goes away (reparenting for full screen, exit): free its objects.
  void OnContextDestroyed();

  CVideoView& m_view;
  bool m_ready = false;
  std::unique_ptr<QOpenGLShaderProgram> m_program;
  QOpenGLBuffer m_vertices{QOpenGLBuffer::VertexBuffer};
  QOpenGLVertexArrayObject m_vao;
  std::array<ChannelTextures, kWindowCount> m_textures;
};

}  // namespace orva::view
