#include "display/PaletteTexture.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions>

#include <array>

namespace {

// Byte b sits at b / 255 in the index texture; entry b of the table is centred at (b + 0.5) / 256.
const char* const kFragmentShader = R"(
uniform sampler2D indices;
uniform sampler2D palette;
varying highp vec2 v_texCoord;
void main()
{
    highp float index = texture2D(indices, v_texCoord).r;
    gl_FragColor = texture2D(palette, vec2((index * 255.0 + 0.5) / 256.0, 0.5));
}
)";

} // namespace

PaletteTexture::PaletteTexture() = default;

PaletteTexture::~PaletteTexture()
{
    if (m_gl == nullptr || QOpenGLContext::currentContext() == nullptr)
        return;
    const std::array<GLuint, 2> textures{m_indexTexture, m_paletteTexture};
    m_gl->glDeleteTextures(2, textures.data());
}

bool PaletteTexture::create()
{
    if (m_gl != nullptr)
        return m_indexTexture != 0;
    QOpenGLContext* context = QOpenGLContext::currentContext();
    m_gl = context->functions();
    if (!m_rects.create(kFragmentShader))
        return false;
    // One-channel textures need GL 3 or GLES 3; older contexts take luminance.
    m_indexFormat = context->format().majorVersion() >= 3 ? GL_RED : GL_LUMINANCE;
    m_gl->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &m_maxSize);
    std::array<GLuint, 2> textures{};
    m_gl->glGenTextures(2, textures.data());
    m_indexTexture = textures[0];
    m_paletteTexture = textures[1];
    return true;
}

void PaletteTexture::allocate(int width, int height)
{
    m_width = width;
    m_gl->glActiveTexture(GL_TEXTURE0);
    m_gl->glBindTexture(GL_TEXTURE_2D, m_indexTexture);
    setNearestSampling(*m_gl);
    const GLint internalFormat = m_indexFormat == GL_RED ? GL_R8 : GL_LUMINANCE;
    m_gl->glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, m_indexFormat, GL_UNSIGNED_BYTE, nullptr);
    m_gl->glBindTexture(GL_TEXTURE_2D, 0);
}

void PaletteTexture::uploadRows(int firstRow, int rowCount, const uint8_t* bytes)
{
    if (rowCount < 1)
        return;
    m_gl->glActiveTexture(GL_TEXTURE0);
    m_gl->glBindTexture(GL_TEXTURE_2D, m_indexTexture);
    m_gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    m_gl->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, firstRow, m_width, rowCount, m_indexFormat, GL_UNSIGNED_BYTE, bytes);
    m_gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    m_gl->glBindTexture(GL_TEXTURE_2D, 0);
}

void PaletteTexture::uploadColourTable(std::span<const QRgb> table)
{
    std::array<uint8_t, 256 * 4> rgba{};
    for (std::size_t i = 0; i < 256 && i < table.size(); ++i) {
        rgba[4 * i] = static_cast<uint8_t>(qRed(table[i]));
        rgba[4 * i + 1] = static_cast<uint8_t>(qGreen(table[i]));
        rgba[4 * i + 2] = static_cast<uint8_t>(qBlue(table[i]));
        rgba[4 * i + 3] = static_cast<uint8_t>(qAlpha(table[i]));
    }
    m_gl->glActiveTexture(GL_TEXTURE0);
    m_gl->glBindTexture(GL_TEXTURE_2D, m_paletteTexture);
    setNearestSampling(*m_gl);
    m_gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 256, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    m_gl->glBindTexture(GL_TEXTURE_2D, 0);
}

void PaletteTexture::draw(std::span<const TexturedRect> rects, TexturedRects::Blend blend)
{
    if (m_indexTexture == 0 || rects.empty())
        return;
    QOpenGLShaderProgram& program = m_rects.program();
    program.bind();
    program.setUniformValue("indices", 0);
    program.setUniformValue("palette", 1);
    m_gl->glActiveTexture(GL_TEXTURE1);
    m_gl->glBindTexture(GL_TEXTURE_2D, m_paletteTexture);
    m_gl->glActiveTexture(GL_TEXTURE0);
    m_gl->glBindTexture(GL_TEXTURE_2D, m_indexTexture);
    m_rects.draw(rects, blend);
    m_gl->glActiveTexture(GL_TEXTURE1);
    m_gl->glBindTexture(GL_TEXTURE_2D, 0);
    m_gl->glActiveTexture(GL_TEXTURE0);
    m_gl->glBindTexture(GL_TEXTURE_2D, 0);
    program.release();
}
