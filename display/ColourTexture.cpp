#include "display/ColourTexture.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions>

namespace {

const char* const kFragmentShader = R"(
uniform sampler2D colours;
varying highp vec2 v_texCoord;
void main()
{
    gl_FragColor = texture2D(colours, v_texCoord);
}
)";

// Defined by desktop OpenGL only; the headers of an OpenGL ES build lack the name.
constexpr GLenum kBgra = 0x80E1;

} // namespace

ColourTexture::ColourTexture() = default;

ColourTexture::~ColourTexture()
{
    if (m_texture != 0 && QOpenGLContext::currentContext() != nullptr)
        m_gl->glDeleteTextures(1, &m_texture);
}

bool ColourTexture::create()
{
    if (m_gl != nullptr)
        return m_texture != 0;
    QOpenGLContext* context = QOpenGLContext::currentContext();
    m_gl = context->functions();
    if (!m_rects.create(kFragmentShader))
        return false;
    // Desktop OpenGL takes blue first, and keeps it so: the texture then has the window's own
    // pixel layout. OpenGL ES takes red first.
    m_order = context->isOpenGLES() ? PixelOrder::Rgba : PixelOrder::Bgra;
    m_gl->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &m_maxSize);
    m_gl->glGenTextures(1, &m_texture);
    return true;
}

void ColourTexture::allocate(int width, int height)
{
    m_width = width;
    m_gl->glActiveTexture(GL_TEXTURE0);
    m_gl->glBindTexture(GL_TEXTURE_2D, m_texture);
    setNearestSampling(*m_gl);
    // The unsized internal format lets the driver store the pixels in the order they come in.
    const GLenum format = m_order == PixelOrder::Bgra ? kBgra : GL_RGBA;
    m_gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, format, GL_UNSIGNED_BYTE, nullptr);
    m_gl->glBindTexture(GL_TEXTURE_2D, 0);
}

void ColourTexture::uploadRows(int firstRow, int rowCount, const uint32_t* pixels)
{
    if (rowCount < 1)
        return;
    m_gl->glActiveTexture(GL_TEXTURE0);
    m_gl->glBindTexture(GL_TEXTURE_2D, m_texture);
    const GLenum format = m_order == PixelOrder::Bgra ? kBgra : GL_RGBA;
    m_gl->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, firstRow, m_width, rowCount, format, GL_UNSIGNED_BYTE, pixels);
    m_gl->glBindTexture(GL_TEXTURE_2D, 0);
}

void ColourTexture::draw(std::span<const TexturedRect> rects, TexturedRects::Blend blend)
{
    if (m_texture == 0 || rects.empty())
        return;
    QOpenGLShaderProgram& program = m_rects.program();
    program.bind();
    program.setUniformValue("colours", 0);
    m_gl->glActiveTexture(GL_TEXTURE0);
    m_gl->glBindTexture(GL_TEXTURE_2D, m_texture);
    m_rects.draw(rects, blend);
    m_gl->glBindTexture(GL_TEXTURE_2D, 0);
    program.release();
}
