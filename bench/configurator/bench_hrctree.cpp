// Building the parameter tree from the parsed description, and the document
// lookups every build and every job make. Prints the timings; asserts nothing.
#include "HrcDocument.h"
#include "HrcTree.h"

#include <QApplication>
#include <QFile>

#include <benchmark/benchmark.h>

namespace {

QDomDocument parsedDescription()
{
    return HrcDocument::load(HrcDocument::resourcePath).document();
}

void BM_ParseDescription(benchmark::State &state)
{
    QFile file(HrcDocument::resourcePath);
    file.open(QIODevice::ReadOnly);
    const QByteArray content = file.readAll();
    for (auto _ : state) {
        HrcDocument doc = HrcDocument::parse(content);
        benchmark::DoNotOptimize(doc);
    }
}
BENCHMARK(BM_ParseDescription)->Unit(benchmark::kMillisecond);

void BM_BuildFullTree(benchmark::State &state)
{
    HrcTree tree(parsedDescription());
    for (auto _ : state)
        tree.buildTree();
}
BENCHMARK(BM_BuildFullTree)->Unit(benchmark::kMillisecond);

void BM_BuildFullTreeShown(benchmark::State &state)
{
    HrcTree tree(parsedDescription());
    tree.resize(1600, 1000);
    tree.show();
    for (auto _ : state) {
        tree.buildTree();
        tree.expandAll();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_BuildFullTreeShown)->Unit(benchmark::kMillisecond);

void BM_BuildSelectionTree(benchmark::State &state)
{
    HrcTree tree(parsedDescription());
    for (auto _ : state)
        tree.buildTree(QStringLiteral("commSettings"));
}
BENCHMARK(BM_BuildSelectionTree)->Unit(benchmark::kMicrosecond);

void BM_FactoryValuesWholeTree(benchmark::State &state)
{
    HrcTree tree(parsedDescription());
    tree.buildTree();
    for (auto _ : state)
        tree.updateItems(nullptr, false, QStringLiteral("defaultvalue"), false, true);
}
BENCHMARK(BM_FactoryValuesWholeTree)->Unit(benchmark::kMillisecond);

void BM_FindParameterLast(benchmark::State &state)
{
    HrcDocument doc(parsedDescription());
    for (auto _ : state) {
        QDomElement e = doc.findParameter(QStringLiteral("timescan"));
        benchmark::DoNotOptimize(e);
    }
}
BENCHMARK(BM_FindParameterLast)->Unit(benchmark::kMicrosecond);

void BM_DisplayTextEnumIndex(benchmark::State &state)
{
    HrcDocument doc(parsedDescription());
    QDomElement e = doc.findParameter(QStringLiteral("in-t[0]"));
    e.setAttribute(QStringLiteral("value"), QStringLiteral("16"));
    for (auto _ : state) {
        QString text = doc.displayText(e);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_DisplayTextEnumIndex)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
