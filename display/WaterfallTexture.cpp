#include "display/WaterfallTexture.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions>

#include <algorithm>
#include <array>

namespace {

const char* const kVertexShader = R"(
attribute highp vec2 position;
attribute highp vec2 texCoord;
varying highp vec2 v_texCoord;
void main()
{
    v_texCoord = texCoord;
    gl_Position = vec4(position, 0.0, 1.0);
}
)";

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

void setNearest(QOpenGLFunctions* gl)
{
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
}

} // namespace

WaterfallTexture::WaterfallTexture() = default;

WaterfallTexture::~WaterfallTexture()
{
    if (m_gl == nullptr || QOpenGLContext::currentContext() == nullptr)
        return;
    const std::array<GLuint, 2> textures{m_indexTexture, m_paletteTexture};
    m_gl->glDeleteTextures(2, textures.data());
    if (m_vertices.isCreated())
        m_vertices.destroy();
}

bool WaterfallTexture::createResources()
{
    if (m_gl != nullptr)
        return !m_failed;
    QOpenGLContext* context = QOpenGLContext::currentContext();
    m_gl = context->functions();
    m_program = std::make_unique<QOpenGLShaderProgram>();
    m_failed = !m_program->addShaderFromSourceCode(QOpenGLShader::Vertex, kVertexShader) ||
               !m_program->addShaderFromSourceCode(QOpenGLShader::Fragment, kFragmentShader) ||
               !m_program->link() || !m_vertices.create();
    if (m_failed)
        return false;
    // One-channel textures need GL 3 or GLES 3; older contexts take luminance.
    m_indexFormat = context->format().majorVersion() >= 3 ? GL_RED : GL_LUMINANCE;
    m_gl->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &m_maxTextureSize);
    std::array<GLuint, 2> textures{};
    m_gl->glGenTextures(2, textures.data());
    m_indexTexture = textures[0];
    m_paletteTexture = textures[1];
    return true;
}

bool WaterfallTexture::follow(const QImage& image, const WaterfallChange& change)
{
    if (!change.usable || !createResources())
        return false;
    if (image.height() > m_maxTextureSize)
        return false;

    m_gl->glActiveTexture(GL_TEXTURE0);
    m_gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (change.recreated || image.width() != m_width || image.height() != m_lines) {
        uploadAll(image);
    } else {
        m_gl->glBindTexture(GL_TEXTURE_2D, m_indexTexture);
        for (int i = 0; i < change.rows.count; ++i)
            uploadRow(image, (change.rows.first + i) % m_lines);
    }
    if (change.colourTableChanged || change.recreated)
        uploadColourTable(image);
    m_gl->glBindTexture(GL_TEXTURE_2D, 0);
    m_gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    return true;
}

void WaterfallTexture::uploadAll(const QImage& image)
{
    m_width = image.width();
    m_textureWidth = std::min(m_width, static_cast<int>(m_maxTextureSize));
    m_lines = image.height();
    m_thinnedRow.resize(m_textureWidth < m_width ? static_cast<std::size_t>(m_textureWidth) : 0);
    m_gl->glBindTexture(GL_TEXTURE_2D, m_indexTexture);
    setNearest(m_gl);
    const GLint internalFormat = m_indexFormat == GL_RED ? GL_R8 : GL_LUMINANCE;
    m_gl->glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, m_textureWidth, m_lines, 0, m_indexFormat,
                       GL_UNSIGNED_BYTE, nullptr);
    for (int row = 0; row < m_lines; ++row)
        uploadRow(image, row);
}

void WaterfallTexture::uploadRow(const QImage& image, int row)
{
    const uchar* bytes = image.constScanLine(row);
    if (!m_thinnedRow.empty()) {
        for (int x = 0; x < m_textureWidth; ++x)
            m_thinnedRow[static_cast<std::size_t>(x)] =
                bytes[static_cast<int64_t>(x) * m_width / m_textureWidth];
        bytes = m_thinnedRow.data();
    }
    m_gl->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, row, m_textureWidth, 1, m_indexFormat, GL_UNSIGNED_BYTE, bytes);
}

void WaterfallTexture::uploadColourTable(const QImage& image)
{
    std::array<uint8_t, 256 * 4> rgba{};
    const QList<QRgb> table = image.colorTable();
    for (int i = 0; i < 256 && i < table.size(); ++i) {
        rgba[4 * i] = static_cast<uint8_t>(qRed(table[i]));
        rgba[4 * i + 1] = static_cast<uint8_t>(qGreen(table[i]));
        rgba[4 * i + 2] = static_cast<uint8_t>(qBlue(table[i]));
        rgba[4 * i + 3] = static_cast<uint8_t>(qAlpha(table[i]));
    }
    m_gl->glBindTexture(GL_TEXTURE_2D, m_paletteTexture);
    setNearest(m_gl);
    m_gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 256, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
}

void WaterfallTexture::drawRows(int firstRow, int rowCount, float yFirst, float yEnd, float uStart, float uStop)
{
    if (m_failed || m_gl == nullptr || rowCount < 1 || m_lines < 1)
        return;
    const float v0 = static_cast<float>(firstRow) / static_cast<float>(m_lines);
    const float v1 = static_cast<float>(firstRow + rowCount) / static_cast<float>(m_lines);
    // x, y, u, v for a triangle strip over the full width.
    const std::array<float, 16> quad{-1.0f, yFirst, uStart, v0, 1.0f, yFirst, uStop, v0,
                                     -1.0f, yEnd,   uStart, v1, 1.0f, yEnd,   uStop, v1};

    m_program->bind();
    m_program->setUniformValue("indices", 0);
    m_program->setUniformValue("palette", 1);
    m_gl->glActiveTexture(GL_TEXTURE1);
    m_gl->glBindTexture(GL_TEXTURE_2D, m_paletteTexture);
    m_gl->glActiveTexture(GL_TEXTURE0);
    m_gl->glBindTexture(GL_TEXTURE_2D, m_indexTexture);
    m_gl->glDisable(GL_BLEND);

    m_vertices.bind();
    m_vertices.allocate(quad.data(), static_cast<int>(sizeof(quad)));
    const int position = m_program->attributeLocation("position");
    const int texCoord = m_program->attributeLocation("texCoord");
    m_program->enableAttributeArray(position);
    m_program->enableAttributeArray(texCoord);
    m_program->setAttributeBuffer(position, GL_FLOAT, 0, 2, 4 * sizeof(float));
    m_program->setAttributeBuffer(texCoord, GL_FLOAT, 2 * sizeof(float), 2, 4 * sizeof(float));
    m_gl->glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    m_program->disableAttributeArray(position);
    m_program->disableAttributeArray(texCoord);
    m_vertices.release();

    m_gl->glActiveTexture(GL_TEXTURE1);
    m_gl->glBindTexture(GL_TEXTURE_2D, 0);
    m_gl->glActiveTexture(GL_TEXTURE0);
    m_gl->glBindTexture(GL_TEXTURE_2D, 0);
    m_program->release();
}
