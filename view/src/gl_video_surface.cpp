#include "gl_video_surface.h"

#include <QMetaObject>
#include <QOpenGLContext>
#include <QPainter>

#include "video_view_impl.h"

namespace orva::view {

namespace {

const char* kVertexShader = R"(
attribute vec2 position;
attribute vec2 texCoord;
varying vec2 uv;
void main() {
  uv = texCoord;
  gl_Position = vec4(position, 0.0, 1.0);
}
)";

// rgbPicture: the Y sampler holds a BGR24 picture instead.
const char* kFragmentShader = R"(
#ifdef GL_ES
precision mediump float;
#endif
uniform sampler2D yPlane;
uniform sampler2D uPlane;
uniform sampler2D vPlane;
uniform float rgbPicture;
varying vec2 uv;
void main() {
  if (rgbPicture > 0.5) {
    gl_FragColor = vec4(texture2D(yPlane, uv).bgr, 1.0);
    return;
  }
  float y = 1.164384 * (texture2D(yPlane, uv).r - 0.0627451);
  float u = texture2D(uPlane, uv).r - 0.5019608;
  float v = texture2D(vPlane, uv).r - 0.5019608;
  gl_FragColor = vec4(y + 1.596027 * v, y - 0.391762 * u - 0.812968 * v, y + 2.017232 * u, 1.0);
}
)";

constexpr int kFloatsPerVertex = 4;  // x, y, s, t
constexpr int kVerticesPerQuad = 4;

}  // namespace

GlVideoSurface::GlVideoSurface(CVideoView& view) : QOpenGLWidget(&view), m_view(view) {
  // Mouse input belongs to the view underneath.
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

GlVideoSurface::~GlVideoSurface() {
  // The base class destroys the context after this body: no call back into
  // members that are gone by then.
  if (context()) disconnect(context(), nullptr, this, nullptr);
  if (!m_ready) return;
  makeCurrent();
  ReleaseTextures();
  m_vertices.destroy();
  m_vao.destroy();
  m_program.reset();
  doneCurrent();
}

void GlVideoSurface::ReleaseTextures() {
  for (ChannelTextures& t : m_textures) {
    if (t.id[0]) glDeleteTextures(3, t.id.data());
    t = ChannelTextures{};
  }
}

void GlVideoSurface::initializeGL() {
  initializeOpenGLFunctions();
  // Reparenting (full screen) makes a new context: drop what the old one held.
  for (ChannelTextures& t : m_textures) t = ChannelTextures{};
  connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &GlVideoSurface::OnContextDestroyed,
          Qt::UniqueConnection);
  m_program = std::make_unique<QOpenGLShaderProgram>();
  bool ok = m_program->addShaderFromSourceCode(QOpenGLShader::Vertex, kVertexShader) &&
            m_program->addShaderFromSourceCode(QOpenGLShader::Fragment, kFragmentShader);
  m_program->bindAttributeLocation("position", 0);
  m_program->bindAttributeLocation("texCoord", 1);
  ok = ok && m_program->link();
  if (ok) {
    m_vao.create();  // optional on compatibility contexts
    ok = m_vertices.create();
  }
  if (ok) {
    m_vertices.bind();
    m_vertices.setUsagePattern(QOpenGLBuffer::StreamDraw);
    m_vertices.allocate(kWindowCount * kVerticesPerQuad * kFloatsPerVertex * static_cast<int>(sizeof(float)));
    m_vertices.release();
  }
  m_ready = ok;
  if (!ok) {
    // Without a working shader the view draws with QPainter instead.
    CVideoView* view = &m_view;
    QMetaObject::invokeMethod(view, [view] { view->d->FallBackToRgb(); }, Qt::QueuedConnection);
  }
}

void GlVideoSurface::OnContextDestroyed() {
  makeCurrent();
  ReleaseTextures();
  m_vertices.destroy();
  m_vao.destroy();
  m_program.reset();
  doneCurrent();
  m_ready = false;
}

bool GlVideoSurface::Upload(int channel, ChannelTextures& t) {
  CVideoView::Impl& d = *m_view.d;
  ChannelPictureStore::Channel& ch = m_view.Store().At(channel);
  const uint64_t serial = d.drawSerial[static_cast<size_t>(channel)].load();
  std::lock_guard lock(ch.lock);
  const int w = ch.width, h = ch.height;
  if (w <= 0 || h <= 0 || w > 720 || h > 576 || (!ch.rgb && (w % 2 || h % 2))) return false;
  if (t.pictures == ch.pictures && t.serial == serial && t.width == w && t.height == h && t.rgb == ch.rgb) return true;
  const bool resize = t.width != w || t.height != h || t.rgb != ch.rgb || !t.id[0];
  if (!t.id[0]) glGenTextures(3, t.id.data());
  const uint8_t* picture = ch.picture.data();
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);  // rows of width/2 or 3 x width bytes are not padded
  auto plane = [&](GLuint id, int pw, int ph, GLint internal, GLenum format, const uint8_t* data) {
    glBindTexture(GL_TEXTURE_2D, id);
    if (resize) {
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
      glTexImage2D(GL_TEXTURE_2D, 0, internal, pw, ph, 0, format, GL_UNSIGNED_BYTE, data);
    } else {
      glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, pw, ph, format, GL_UNSIGNED_BYTE, data);
    }
  };
  if (ch.rgb) {
    plane(t.id[0], w, h, GL_RGB8, GL_RGB, picture);
  } else {
    // YV12: Y, then V, then U.
    const size_t luma = static_cast<size_t>(w) * h, chroma = luma / 4;
    plane(t.id[0], w, h, GL_R8, GL_RED, picture);
    plane(t.id[2], w / 2, h / 2, GL_R8, GL_RED, picture + luma);
    plane(t.id[1], w / 2, h / 2, GL_R8, GL_RED, picture + luma + chroma);
  }
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  t.width = w;
  t.height = h;
  t.rgb = ch.rgb;
  t.pictures = ch.pictures;
  t.serial = serial;
  return true;
}

void GlVideoSurface::paintGL() {
  CVideoView::Impl& d = *m_view.d;
  const std::vector<Pane> panes = d.Panes();
  QPainter p(this);
  p.beginNativePainting();
  const qreal ratio = devicePixelRatioF();
  glViewport(0, 0, static_cast<GLsizei>(width() * ratio), static_cast<GLsizei>(height() * ratio));
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_SCISSOR_TEST);
  glDisable(GL_BLEND);
  glClearColor(d.background.redF(), d.background.greenF(), d.background.blueF(), 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);

  std::vector<int64_t> stamps;
  QRegion failed;
  if (m_ready) {
    m_program->bind();
    m_program->setUniformValue("yPlane", 0);
    m_program->setUniformValue("uPlane", 1);
    m_program->setUniformValue("vPlane", 2);
    if (m_vao.isCreated()) m_vao.bind();
    m_vertices.bind();
    m_program->enableAttributeArray(0);
    m_program->enableAttributeArray(1);
    m_program->setAttributeBuffer(0, GL_FLOAT, 0, 2, kFloatsPerVertex * sizeof(float));
    m_program->setAttributeBuffer(1, GL_FLOAT, 2 * sizeof(float), 2, kFloatsPerVertex * sizeof(float));
    const float W = static_cast<float>(std::max(1, width())), H = static_cast<float>(std::max(1, height()));
    int quad = 0;
    for (const Pane& pane : panes) {
      if (pane.kind != PaneKind::kPicture || quad >= kWindowCount) continue;
      ChannelTextures& t = m_textures[static_cast<size_t>(pane.channel)];
      stamps.push_back(d.drawnAt[static_cast<size_t>(pane.channel)].exchange(0));
      if (!Upload(pane.channel, t)) {
        failed += ToQRect(pane.rect);
        continue;
      }
      Crop crop = CropFor(t.height);
      if (crop.top + crop.bottom >= t.height) crop = {};
      const float h = static_cast<float>(t.height);
      // Texture row 0 is the first row in memory: the top line of a YV12
      // picture, the bottom line of a bottom-up RGB one.
      float tTop = static_cast<float>(crop.top) / h, tBottom = (h - static_cast<float>(crop.bottom)) / h;
      if (t.rgb) {
        tTop = 1.0f - tTop;
        tBottom = 1.0f - tBottom;
      }
      const float x0 = 2.0f * static_cast<float>(pane.rect.left) / W - 1.0f;
      const float x1 = 2.0f * static_cast<float>(pane.rect.right) / W - 1.0f;
      const float y0 = 1.0f - 2.0f * static_cast<float>(pane.rect.top) / H;
      const float y1 = 1.0f - 2.0f * static_cast<float>(pane.rect.bottom) / H;
      const float v[kVerticesPerQuad * kFloatsPerVertex] = {x0, y0, 0.0f, tTop,    x1, y0, 1.0f, tTop,
                                                            x0, y1, 0.0f, tBottom, x1, y1, 1.0f, tBottom};
      m_vertices.write(quad * static_cast<int>(sizeof v), v, static_cast<int>(sizeof v));
      for (int unit = 0; unit < 3; ++unit) {
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
        glBindTexture(GL_TEXTURE_2D, t.id[static_cast<size_t>(t.rgb ? 0 : unit)]);
      }
      m_program->setUniformValue("rgbPicture", t.rgb ? 1.0f : 0.0f);
      glDrawArrays(GL_TRIANGLE_STRIP, quad * kVerticesPerQuad, kVerticesPerQuad);
      ++quad;
    }
    m_program->disableAttributeArray(0);
    m_program->disableAttributeArray(1);
    m_vertices.release();
    if (m_vao.isCreated()) m_vao.release();
    m_program->release();
    for (int unit = 2; unit >= 0; --unit) {
      glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
      glBindTexture(GL_TEXTURE_2D, 0);
    }
  }
  p.endNativePainting();
  for (const QRect& r : failed) d.DrawFixed(p, d.idle, r);
  d.PaintOverlay(p, panes, QRegion(rect()));
  p.end();
  const int64_t end = NowNs();
  for (int64_t stamp : stamps) d.RecordLatency(stamp, end);
}

}  // namespace orva::view
