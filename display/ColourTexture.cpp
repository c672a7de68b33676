#include "display/ColourTexture.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions>

#include <cstring>

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
    m_blueFirst = !context->isOpenGLES();
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
    const GLenum format = m_blueFirst ? kBgra : GL_RGBA;
    m_gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, format, GL_UNSIGNED_BYTE, nullptr);
    m_gl->glBindTexture(GL_TEXTURE_2D, 0);
}

void ColourTexture::setColourTable(std::span<const QRgb> table)
{
    for (std::size_t i = 0; i < m_colours.size(); ++i) {
        const QRgb c = i < table.size() ? table[i] : 0;
        const std::array<uint8_t, 4> bytes{static_cast<uint8_t>(m_blueFirst ? qBlue(c) : qRed(c)),
                                           static_cast<uint8_t>(qGreen(c)),
                                           static_cast<uint8_t>(m_blueFirst ? qRed(c) : qBlue(c)),
                                           static_cast<uint8_t>(qAlpha(c))};
        std::memcpy(&m_colours[i], bytes.data(), bytes.size());
    }
}

void ColourTexture::uploadRows(int firstRow, int rowCount, const uint8_t* bytes, qsizetype bytesPerLine, int columns)
{
    if (rowCount < 1)
        return;
    const auto width = static_cast<std::size_t>(m_width);
    m_pixels.resize(width * static_cast<std::size_t>(rowCount));
    for (int r = 0; r < rowCount; ++r) {
        const uint8_t* row = bytes + r * bytesPerLine;
        uint32_t* pixels = m_pixels.data() + static_cast<std::size_t>(r) * width;
        if (columns == m_width) {
            for (std::size_t x = 0; x < width; ++x)
                pixels[x] = m_colours[row[x]];
        } else {
            for (int x = 0; x < m_width; ++x)
                pixels[x] = m_colours[row[static_cast<int64_t>(x) * columns / m_width]];
        }
    }
    m_gl->glActiveTexture(GL_TEXTURE0);
    m_gl->glBindTexture(GL_TEXTURE_2D, m_texture);
    const GLenum format = m_blueFirst ? kBgra : GL_RGBA;
    m_gl->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, firstRow, m_width, rowCount, format, GL_UNSIGNED_BYTE,
                          m_pixels.data());
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
