#include "display/TexturedRects.h"

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

// Two triangles per rectangle, each vertex x, y, u, v.
constexpr int kFloatsPerVertex = 4;
constexpr int kVerticesPerRect = 6;

} // namespace

TexturedRects::TexturedRects() = default;

TexturedRects::~TexturedRects()
{
    if (m_vertices.isCreated() && QOpenGLContext::currentContext() != nullptr)
        m_vertices.destroy();
}

bool TexturedRects::create(const char* fragmentShader)
{
    if (m_gl != nullptr)
        return !m_failed;
    m_gl = QOpenGLContext::currentContext()->functions();
    m_program = std::make_unique<QOpenGLShaderProgram>();
    m_failed = !m_program->addShaderFromSourceCode(QOpenGLShader::Vertex, kVertexShader) ||
               !m_program->addShaderFromSourceCode(QOpenGLShader::Fragment, fragmentShader) ||
               !m_program->link() || !m_vertices.create();
    return !m_failed;
}

void TexturedRects::draw(std::span<const TexturedRect> rects, Blend blend)
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
}

void setNearestSampling(QOpenGLFunctions& gl)
{
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
}
