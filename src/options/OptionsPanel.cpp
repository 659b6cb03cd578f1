#include "options/OptionsPanel.h"

#include "options/HelpTexts.h"
#include "platform/KeyValueStore.h"
#include "platform/widgets/Twips.h"
#include "platform/Boxes.h"
#include "platform/Failure.h"
#include "platform/Trap.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace {

QString truthText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

QString clickLabel(int button)
{
    return QStringLiteral("in Orlesk2021/08/31.Form1.PushButton%1_Click ").arg(button);
}

template <typename Widget> Widget* place(Widget* widget, QRect geometry)
{
    widget->setGeometry(geometry);
    return widget;
}

} // namespace

const QStringList& OptionsPanel::contentMethods()
{
    static const QStringList methods = {
        QStringLiteral("Rename by the first x word(s)"),
        QStringLiteral("Rename by x1, x2, x3 word(s)"),
        QStringLiteral("Rename by n words after x string"),
        QStringLiteral("Rename by n words before x string"),
    };
    return methods;
}

const QStringList& OptionsPanel::presets()
{
    static const QStringList patterns = {QStringLiteral("%a - %t"), QStringLiteral("%a - %s"),
                                         QStringLiteral("%c - %t"), QStringLiteral("%c - %s")};
    return patterns;
}

OptionsPanel::OptionsPanel(QWidget* window, KeyValueStore& settings, Boxes& boxes,
                           ErrorReporter& reporter)
    : QObject(window), m_settings(settings), m_boxes(boxes), m_reporter(reporter)
{
    build(window);

    connect(m_option1, &QRadioButton::clicked, this, &OptionsPanel::Option1_Click);
    connect(m_option2, &QRadioButton::clicked, this, &OptionsPanel::Option2_Click);
    connect(m_option3, &QRadioButton::clicked, this, &OptionsPanel::Option3_Click);
    connect(m_option4, &QRadioButton::clicked, this, &OptionsPanel::Option4_Click);
    connect(m_check1, &QCheckBox::clicked, this, &OptionsPanel::Check1_Click);
    connect(m_combo1, &QComboBox::currentIndexChanged, this, &OptionsPanel::Combo1_Click);
    connect(m_text1, &QLineEdit::textChanged, this, &OptionsPanel::Text1_Change);
    connect(m_text2, &QLineEdit::textChanged, this, &OptionsPanel::Text2_Change);
    connect(m_pushButton8, &QPushButton::clicked, this, &OptionsPanel::PushButton8_Click);
    connect(m_pushButton9, &QPushButton::clicked, this, &OptionsPanel::PushButton9_Click);
    connect(m_presetButtons[0], &QPushButton::clicked, this, &OptionsPanel::PushButton10_Click);
    connect(m_presetButtons[1], &QPushButton::clicked, this, &OptionsPanel::PushButton11_Click);
    connect(m_presetButtons[2], &QPushButton::clicked, this, &OptionsPanel::PushButton12_Click);
    connect(m_presetButtons[3], &QPushButton::clicked, this, &OptionsPanel::PushButton13_Click);
}

void OptionsPanel::build(QWidget* window)
{
    m_frame1 = new QGroupBox(QStringLiteral("Rename Options"), window);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    m_option1 = place(new QRadioButton(QStringLiteral("Rename by content"), m_frame1),
                      twipsRect(240, 300, 3735, 255));
    m_combo1 = place(new QComboBox(m_frame1), twipsRect(480, 600, 6360, 345));
    m_combo1->setEditable(false);
    m_pushButton8 =
        place(new QPushButton(QStringLiteral("?"), m_frame1), twipsRect(6960, 600, 600, 345));

    m_frame3 = place(new QGroupBox(m_frame1), twipsRect(480, 960, 7080, 975));
    m_frame3->setObjectName(QStringLiteral("Frame3"));
    m_option3 =
        place(new QRadioButton(QStringLiteral("Ignore tags and look at text only"), m_frame3),
              twipsRect(240, 270, 3615, 255));
    m_option4 =
        place(new QRadioButton(QStringLiteral("Consider HTML tags when renaming"), m_frame3),
              twipsRect(240, 615, 3615, 255));
    m_check1 = place(new QCheckBox(QStringLiteral("Include tags before <BODY>"), m_frame3),
                     twipsRect(4080, 630, 2775, 225));

    m_option2 =
        place(new QRadioButton(QStringLiteral("Rename by metadata (within tags)"), m_frame1),
              twipsRect(240, 1995, 3735, 255));
    m_text2 = place(new QLineEdit(m_frame1), twipsRect(480, 2280, 6390, 345));
    m_pushButton9 =
        place(new QPushButton(QStringLiteral("?"), m_frame1), twipsRect(6960, 2250, 600, 345));
    m_label1 = place(new QLabel(QStringLiteral("Load Sample:"), m_frame1),
                     twipsRect(480, 2820, 1155, 225));
    const int presetLefts[4] = {1920, 3405, 4875, 6360};
    for (int i = 0; i < 4; ++i)
        m_presetButtons[i] = place(new QPushButton(presets().at(i), m_frame1),
                                   twipsRect(presetLefts[i], 2730, 1200, 405));

    m_frame2 = new QGroupBox(QStringLiteral("Save Results To This Folder"), window);
    m_frame2->setObjectName(QStringLiteral("Frame2"));
    m_text1 = place(new QLineEdit(m_frame2), twipsRect(240, 300, 6630, 345));
    m_pushButton4 =
        place(new QPushButton(QStringLiteral("..."), m_frame2), twipsRect(6960, 300, 600, 345));

    // Explicit groups: buttons grouped only by their parent would take in the
    // tag options of the inner frame as well.
    m_methodGroup = new QButtonGroup(this);
    m_methodGroup->addButton(m_option1);
    m_methodGroup->addButton(m_option2);
    m_tagGroup = new QButtonGroup(this);
    m_tagGroup->addButton(m_option3);
    m_tagGroup->addButton(m_option4);

    // The state the window is designed with; start-up restores the stored one.
    m_option1->setChecked(true);
    m_option3->setChecked(true);
    m_check1->setEnabled(false);
    m_text2->setText(presets().at(0));

    const struct
    {
        QWidget* widget;
        const char* name;
    } names[] = {{m_option1, "Option1"},
                 {m_option2, "Option2"},
                 {m_option3, "Option3"},
                 {m_option4, "Option4"},
                 {m_check1, "Check1"},
                 {m_combo1, "Combo1"},
                 {m_text1, "Text1"},
                 {m_text2, "Text2"},
                 {m_label1, "Label1"},
                 {m_pushButton4, "PushButton4"},
                 {m_pushButton8, "PushButton8"},
                 {m_pushButton9, "PushButton9"}};
    for (const auto& entry : names)
        entry.widget->setObjectName(QLatin1String(entry.name));
    for (int i = 0; i < 4; ++i)
        m_presetButtons[i]->setObjectName(QStringLiteral("PushButton%1").arg(10 + i));
}

QPushButton* OptionsPanel::pushButton(int number) const
{
    switch (number) {
    case 4:
        return m_pushButton4;
    case 8:
        return m_pushButton8;
    case 9:
        return m_pushButton9;
    case 10:
    case 11:
    case 12:
    case 13:
        return m_presetButtons[number - 10];
    default:
        return nullptr;
    }
}

// The panel's own handlers have no trap: a value the store refuses is simply not
// remembered, and the control keeps what the user gave it. A box for every
// keystroke would make the text boxes unusable.
void OptionsPanel::saveQuietly(const QString& key, const QString& value)
{
    try {
        m_settings.save(key, value);
    } catch (const Failure&) {
    }
}

void OptionsPanel::saveGroup(const QString& firstKey, QRadioButton* first, const QString& secondKey,
                             QRadioButton* second)
{
    saveQuietly(firstKey, truthText(first->isChecked()));
    saveQuietly(secondKey, truthText(second->isChecked()));
}

void OptionsPanel::Option1_Click()
{
    saveGroup(QStringLiteral("Option1"), m_option1, QStringLiteral("Option2"), m_option2);
    m_frame3->setEnabled(true);
}

void OptionsPanel::Option2_Click()
{
    saveGroup(QStringLiteral("Option1"), m_option1, QStringLiteral("Option2"), m_option2);
    m_frame3->setEnabled(false);
}

void OptionsPanel::Option3_Click()
{
    saveGroup(QStringLiteral("Option3"), m_option3, QStringLiteral("Option4"), m_option4);
    m_check1->setEnabled(false);
}

void OptionsPanel::Option4_Click()
{
    saveGroup(QStringLiteral("Option3"), m_option3, QStringLiteral("Option4"), m_option4);
    m_check1->setEnabled(true);
}

void OptionsPanel::Check1_Click()
{
    saveQuietly(QStringLiteral("Check1"), QString::number(m_check1->isChecked() ? 1 : 0));
}

void OptionsPanel::Combo1_Click()
{
    saveQuietly(QStringLiteral("Combo1Index"), QString::number(m_combo1->currentIndex()));
}

void OptionsPanel::Text1_Change()
{
    saveQuietly(QStringLiteral("Text1"), m_text1->text());
}

void OptionsPanel::Text2_Change()
{
    saveQuietly(QStringLiteral("Text2"), m_text2->text());
}

void OptionsPanel::PushButton8_Click()
{
    Trap trap(m_reporter, clickLabel(8));
    trap(1, [&] {
        m_boxes.message(HelpTexts::content(m_combo1->itemText(0), m_combo1->itemText(1)));
    });
}

void OptionsPanel::PushButton9_Click()
{
    Trap trap(m_reporter, clickLabel(9));
    trap(1, [&] { m_boxes.message(HelpTexts::metadata()); });
}

void OptionsPanel::preset(int number)
{
    Trap trap(m_reporter, clickLabel(number));
    // The change of the text saves it, as typing would.
    trap(1, [&] { m_text2->setText(presets().at(number - 10)); });
}

int OptionsPanel::check1Value() const
{
    return m_check1->isChecked() ? 1 : 0;
}

void OptionsPanel::setCheck1Value(int value)
{
    if (value != 0 && value != 1)
        throw Failure(QStringLiteral("Invalid property value"));
    m_check1->setChecked(value == 1);
}

void OptionsPanel::setOptionValue(QRadioButton* option, bool value)
{
    if (value) {
        option->setChecked(true);
        return;
    }
    // An exclusive group refuses to clear its checked button, so it stops being
    // exclusive for a moment.
    QButtonGroup* group = option->group();
    const bool exclusive = group && group->exclusive();
    if (group)
        group->setExclusive(false);
    option->setChecked(false);
    if (group)
        group->setExclusive(exclusive);
}

void OptionsPanel::applyMethodRule()
{
    if (m_option1->isChecked())
        m_frame3->setEnabled(true);
    else if (m_option2->isChecked())
        m_frame3->setEnabled(false);
}

void OptionsPanel::applyTagRule()
{
    if (m_option3->isChecked())
        m_check1->setEnabled(false);
    else if (m_option4->isChecked())
        m_check1->setEnabled(true);
}
