#include "display/TrianglePainter.h"

#include "display/SpectrumLayout.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions>

namespace {

const char* const kVertexShader = R"(
attribute highp vec2 position;
uniform highp vec4 screenToNdc;
void main()
{
    gl_Position = vec4(position * screenToNdc.xy + screenToNdc.zw, 0.0, 1.0);
}
)";

const char* const kFragmentShader = R"(
uniform lowp vec4 colour;
void main()
{
    gl_FragColor = colour;
}
)";

} // namespace

TrianglePainter::TrianglePainter() = default;

TrianglePainter::~TrianglePainter()
{
    if (m_vertices.isCreated() && QOpenGLContext::currentContext() != nullptr)
        m_vertices.destroy();
}

bool TrianglePainter::createResources()
{
    if (m_created)
        return !m_failed;
    m_created = true;
    m_program = std::make_unique<QOpenGLShaderProgram>();
    m_failed = !m_program->addShaderFromSourceCode(QOpenGLShader::Vertex, kVertexShader) ||
               !m_program->addShaderFromSourceCode(QOpenGLShader::Fragment, kFragmentShader) ||
               !m_program->link() || !m_vertices.create();
    return !m_failed;
}

bool TrianglePainter::draw(const std::vector<float>& triangles, const QColor& colour, int width, int height)
{
    if (!createResources())
        return false;
    if (triangles.size() < 6 || width < 1 || height < 1)
        return true;
    QOpenGLFunctions* gl = QOpenGLContext::currentContext()->functions();
    const float yOffset = framebufferNdcY(0.0f, height);
    const float yScale = framebufferNdcY(1.0f, height) - yOffset;

    m_program->bind();
    m_program->setUniformValue("screenToNdc", 2.0f / static_cast<float>(width), yScale, -1.0f, yOffset);
    m_program->setUniformValue("colour", colour);
    gl->glDisable(GL_BLEND);
    m_vertices.bind();
    m_vertices.allocate(triangles.data(), static_cast<int>(triangles.size() * sizeof(float)));
    const int position = m_program->attributeLocation("position");
    m_program->enableAttributeArray(position);
    m_program->setAttributeBuffer(position, GL_FLOAT, 0, 2);
    gl->glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(triangles.size() / 2));
    m_program->disableAttributeArray(position);
    m_vertices.release();
    m_program->release();
    return true;
}
