#include "filelist/ListInteraction.h"

#include "filelist/FileList.h"
#include "filelist/PreviewList.h"
#include "platform/EventPump.h"
#include "platform/FileSystem.h"
#include "platform/Pointer.h"
#include "platform/Trap.h"
#include "rename/TextRules.h"

ListInteraction::ListInteraction(FileList& list, PreviewList& preview, Pointer& pointer,
                                 EventPump& pump, ErrorReporter& reporter)
    : m_list(list), m_preview(preview), m_pointer(pointer), m_pump(pump), m_reporter(reporter)
{
}

void ListInteraction::deleteKey(int selected)
{
    if (m_pointer.isBusy() || m_list.count() == 0)
        return;
    if (selected >= 1 && selected <= m_list.count())
        m_list.removeEntry(selected);
}

void ListInteraction::doubleClick(int selected)
{
    if (m_pointer.isBusy() || m_list.count() == 0)
        return;
    m_preview.clear();
    if (selected >= 1 && selected <= m_list.count())
        m_list.removeEntry(selected);
}

void ListInteraction::PushButton3_Click()
{
    Trap trap(m_reporter, QString::fromLatin1(kClearListLabel));
    trap(10, [&] {
        if (!m_pointer.isBusy())
            m_list.clear();
    });
    trap(20, [&] { m_preview.clear(); });
}

void ListInteraction::ListView1_Click(int selected)
{
    if (m_list.count() == 0)
        return;
    // A click that leaves no entry selected (Ctrl+click on the selected one, a
    // click below the last) has no file to show; the preview stays as it is.
    if (selected < 1 || selected > m_list.count())
        return;
    const quint64 generation = ++m_previewGeneration;
    Trap trap(m_reporter, QString::fromLatin1(kPreviewLabel));
    trap(10, [&] { m_pointer.setShape(PointerShape::Busy); });
    trap(20, [&] { m_preview.clear(); });
    QString path;
    trap(30, [&] { path = m_list.entry(selected); });

    // Hidden files and files that are gone give an empty preview, without a word.
    if (FileSystem::isOrdinaryFile(path)) {
        QString text;
        trap(40, [&] { text = TextRules::decodeText(FileSystem::readWholeFile(path)); });
        trap(50, [&] { text.remove(QChar(u'\r')); });
        QStringList lines;
        trap(60, [&] {
            if (!text.isEmpty())
                lines = text.split(QChar(u'\n'));
        });
        for (qsizetype i = 0; i < lines.size() && i < kPreviewMaxLines; ++i) {
            trap(70, [&] {
                m_pointer.setShape(PointerShape::Busy);
                m_pump.processEvents();
            });
            // A newer preview has taken the list over.
            if (generation != m_previewGeneration)
                return;
            trap(80, [&] { m_preview.append(lines.at(i)); });
        }
    }
    trap(90, [&] { m_pointer.setShape(PointerShape::Default); });
}
