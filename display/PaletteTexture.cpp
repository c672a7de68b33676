#include "display/PaletteTexture.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions>

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

// Two triangles per rectangle, each vertex x, y, u, v.
constexpr int kFloatsPerVertex = 4;
constexpr int kVerticesPerRect = 6;

void setNearest(QOpenGLFunctions* gl)
{
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
}

} // namespace

PaletteTexture::PaletteTexture() = default;

PaletteTexture::~PaletteTexture()
{
    if (m_gl == nullptr || QOpenGLContext::currentContext() == nullptr)
        return;
    const std::array<GLuint, 2> textures{m_indexTexture, m_paletteTexture};
    m_gl->glDeleteTextures(2, textures.data());
    if (m_vertices.isCreated())
        m_vertices.destroy();
}

bool PaletteTexture::create()
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
    setNearest(m_gl);
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
    setNearest(m_gl);
    m_gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 256, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    m_gl->glBindTexture(GL_TEXTURE_2D, 0);
}

void PaletteTexture::draw(std::span<const TexturedRect> rects, Blend blend)
{
    if (m_failed || m_gl == nullptr || rects.empty())
        return;
    m_vertexData.clear();
    for (const TexturedRect& r : rects) {
        const std::array<float, kFloatsPerVertex * kVerticesPerRect> corners{
            r.x0, r.y0, r.u0, r.v0, r.x1, r.y0, r.u1, r.v0, r.x0, r.y1, r.u0, r.v1,
            r.x1, r.y0, r.u1, r.v0, r.x1, r.y1, r.u1, r.v1, r.x0, r.y1, r.u0, r.v1};
        m_vertexData.insert(m_vertexData.end(), corners.begin(), corners.end());
    }

    m_program->bind();
    m_program->setUniformValue("indices", 0);
    m_program->setUniformValue("palette", 1);
    m_gl->glActiveTexture(GL_TEXTURE1);
    m_gl->glBindTexture(GL_TEXTURE_2D, m_paletteTexture);
    m_gl->glActiveTexture(GL_TEXTURE0);
    m_gl->glBindTexture(GL_TEXTURE_2D, m_indexTexture);
    if (blend == Blend::Premultiplied) {
        m_gl->glEnable(GL_BLEND);
        m_gl->glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    } else {
        m_gl->glDisable(GL_BLEND);
    }

    m_vertices.bind();
    m_vertices.allocate(m_vertexData.data(), static_cast<int>(m_vertexData.size() * sizeof(float)));
    const int position = m_program->attributeLocation("position");
    const int texCoord = m_program->attributeLocation("texCoord");
    m_program->enableAttributeArray(position);
    m_program->enableAttributeArray(texCoord);
    m_program->setAttributeBuffer(position, GL_FLOAT, 0, 2, kFloatsPerVertex * sizeof(float));
    m_program->setAttributeBuffer(texCoord, GL_FLOAT, 2 * sizeof(float), 2, kFloatsPerVertex * sizeof(float));
    m_gl->glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(m_vertexData.size() / kFloatsPerVertex));
    m_program->disableAttributeArray(position);
    m_program->disableAttributeArray(texCoord);
    m_vertices.release();

    m_gl->glDisable(GL_BLEND);
    m_gl->glActiveTexture(GL_TEXTURE1);
    m_gl->glBindTexture(GL_TEXTURE_2D, 0);
    m_gl->glActiveTexture(GL_TEXTURE0);
    m_gl->glBindTexture(GL_TEXTURE_2D, 0);
    m_program->release();
}
