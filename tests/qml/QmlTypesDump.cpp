// QmlTypesDump OUTDIR
// Writes OUTDIR/NorvaleRTSA/qmldir and its .qmltypes from the meta-objects of the C++ types the
// application registers in that module, so that qmllint checks what QML documents do with them
// (an unknown property of SpectrumView or choice of Settings fails the lint like one of a Qt
// type); and likewise
// OUTDIR/NorvaleRTSA/Testing for the types only the Qt Quick Tests register. Generated from
// the classes themselves, it cannot drift from them.
#include "app/SettingTables.h"
#include "display/SpectrumItem.h"
#include "markers/MarkerModel.h"

#include <QAbstractListModel>

#include <QDir>
#include <QFile>
#include <QMetaEnum>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QQuickItem>
#include <QTextStream>

#include <cstdio>
#include <vector>

namespace {

QString quoted(const QByteArray& text)
{
    return QLatin1Char('"') + QString::fromLatin1(text) + QLatin1Char('"');
}

// The type as qmltypes spells it: pointers by their class name with a flag.
void writeType(QTextStream& out, QByteArray type)
{
    const bool pointer = type.endsWith('*');
    if (pointer)
        type.chop(1);
    out << "type: " << quoted(type.isEmpty() ? QByteArray("void") : type);
    if (pointer)
        out << "; isPointer: true";
}

void writeParameters(QTextStream& out, const QMetaMethod& method)
{
    const QList<QByteArray> names = method.parameterNames();
    const QList<QByteArray> types = method.parameterTypes();
    for (qsizetype i = 0; i < types.size(); ++i) {
        out << "            Parameter { name: " << quoted(names.value(i)) << "; ";
        writeType(out, types[i]);
        out << " }\n";
    }
}

void writeEnums(QTextStream& out, const QMetaObject& type, const QMetaObject& base)
{
    for (int i = base.enumeratorCount(); i < type.enumeratorCount(); ++i) {
        const QMetaEnum e = type.enumerator(i);
        out << "        Enum {\n"
            << "            name: " << quoted(e.name()) << "\n"
            << "            values: [";
        for (int k = 0; k < e.keyCount(); ++k)
            out << (k > 0 ? ", " : "") << quoted(e.key(k));
        out << "]\n"
            << "        }\n";
    }
}

// A C++ type of the module: its meta-object, the type qmllint already knows that it builds on,
// its element name, and whether it is the one shared instance.
struct ModuleType {
    const QMetaObject& type;
    const QMetaObject& base;
    QString element;
    bool singleton = false;
};

// One component for `t`, exported as `exportName`, with the enums, properties, signals and
// public methods that it and its ancestors add on top of its base.
void writeComponent(QTextStream& out, const ModuleType& t, const QString& exportName)
{
    const QMetaObject& type = t.type;
    const QMetaObject& base = t.base;
    out << "    Component {\n"
        << "        name: " << quoted(type.className()) << "\n"
        << "        accessSemantics: \"reference\"\n"
        << "        prototype: " << quoted(base.className()) << "\n"
        << "        exports: [\"" << exportName << "\"]\n"
        << "        exportMetaObjectRevisions: [256]\n";
    if (t.singleton)
        out << "        isCreatable: false\n"
            << "        isSingleton: true\n";
    writeEnums(out, type, base);
    for (int i = base.propertyCount(); i < type.propertyCount(); ++i) {
        const QMetaProperty p = type.property(i);
        out << "        Property { name: " << quoted(p.name()) << "; ";
        writeType(out, p.typeName());
        if (!p.isWritable())
            out << "; isReadonly: true";
        if (p.hasNotifySignal())
            out << "; notify: " << quoted(p.notifySignal().name());
        out << " }\n";
    }
    for (int i = base.methodCount(); i < type.methodCount(); ++i) {
        const QMetaMethod m = type.method(i);
        if (m.access() != QMetaMethod::Public && m.methodType() != QMetaMethod::Signal)
            continue;
        const bool signal = m.methodType() == QMetaMethod::Signal;
        out << "        " << (signal ? "Signal" : "Method") << " {\n"
            << "            name: " << quoted(m.name()) << "\n";
        if (!signal && m.returnMetaType().id() != QMetaType::Void) {
            out << "            ";
            writeType(out, m.typeName());
            out << "\n";
        }
        writeParameters(out, m);
        out << "        }\n";
    }
    out << "    }\n";
}

bool writeFile(const QString& path, const QString& text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    return file.write(text.toUtf8()) == text.toUtf8().size();
}

// One module: its qmldir and its type description, holding a component for each of `components`.
bool writeModule(const QString& root, const QString& module, const std::vector<ModuleType>& components)
{
    const QString dir = root + QLatin1Char('/') + QString(module).replace(QLatin1Char('.'), QLatin1Char('/'));
    const QString typesFile = QString(module).replace(QLatin1Char('.'), QString()) + QStringLiteral(".qmltypes");
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(dir));
        return false;
    }

    QString types;
    QTextStream out(&types);
    out << "import QtQuick.tooling 1.2\n\nModule {\n";
    for (const ModuleType& t : components)
        writeComponent(out, t, module + QLatin1Char('/') + t.element + QStringLiteral(" 1.0"));
    out << "}\n";
    out.flush();

    const QString qmldir =
        QStringLiteral("module %1\ntypeinfo %2\ndepends QtQuick\n").arg(module, typesFile);
    if (!writeFile(dir + QLatin1Char('/') + typesFile, types) || !writeFile(dir + QStringLiteral("/qmldir"), qmldir)) {
        std::fprintf(stderr, "cannot write the type information into %s\n", qPrintable(dir));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const bool ok =
        writeModule(root, QStringLiteral("NorvaleRTSA"),
                    {{SpectrumItem::staticMetaObject, QQuickItem::staticMetaObject, QStringLiteral("SpectrumView")},
                     {SettingTables::staticMetaObject, QObject::staticMetaObject, QStringLiteral("Settings"), true}})
        && writeModule(root, QStringLiteral("NorvaleRTSA.Testing"),
                       {{MarkerModel::staticMetaObject, QAbstractListModel::staticMetaObject,
                         QStringLiteral("MarkerModel")}});
    return ok ? 0 : 1;
}
