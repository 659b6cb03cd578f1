#pragma once

#include <QObject>
#include <QString>

class Boxes;
class ErrorReporter;
class KeyValueStore;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

// The rename options and the results folder: the frames "Rename Options" and
// "Save Results To This Folder" of the main window. Every control saves its value
// the moment it changes; the run reads the controls as they stand.
class OptionsPanel : public QObject
{
    Q_OBJECT
public:
    // The frames are made as children of `window`, which places them.
    OptionsPanel(QWidget* window, KeyValueStore& settings, Boxes& boxes, ErrorReporter& reporter);

    static const QStringList& contentMethods();
    static const QStringList& presets();

    QGroupBox* frame1() const { return m_frame1; }
    QGroupBox* frame2() const { return m_frame2; }
    QGroupBox* frame3() const { return m_frame3; }
    QRadioButton* option1() const { return m_option1; }
    QRadioButton* option2() const { return m_option2; }
    QRadioButton* option3() const { return m_option3; }
    QRadioButton* option4() const { return m_option4; }
    QCheckBox* check1() const { return m_check1; }
    QComboBox* combo1() const { return m_combo1; }
    QLineEdit* text1() const { return m_text1; }
    QLineEdit* text2() const { return m_text2; }
    QLabel* label1() const { return m_label1; }
    // 8 and 9 (help), 10 to 13 (presets); nullptr for any other number.
    QPushButton* pushButton(int number) const;

    // The handlers, as the controls call them.
    void Option1_Click();
    void Option2_Click();
    void Option3_Click();
    void Option4_Click();
    void Check1_Click();
    void Combo1_Click();
    void Text1_Change();
    void Text2_Change();
    void PushButton8_Click();
    void PushButton9_Click();
    void PushButton10_Click() { preset(10); }
    void PushButton11_Click() { preset(11); }
    void PushButton12_Click() { preset(12); }
    void PushButton13_Click() { preset(13); }

    // Check1's value: 0 unchecked, 1 checked. Any other value throws Failure.
    int check1Value() const;
    void setCheck1Value(int value);

    // Sets an option button as start-up restores it: true selects it (and clears
    // its partner), false clears it alone, so both of a group may end up clear.
    static void setOptionValue(QRadioButton* option, bool value);

    // The enabling rules: the rename method decides whether the tag options can be
    // used, the tag mode whether the head-tags box can. With neither button of a
    // group selected, nothing changes.
    void applyMethodRule();
    void applyTagRule();

private:
    void build(QWidget* window);
    void saveQuietly(const QString& key, const QString& value);
    void saveGroup(const QString& firstKey, QRadioButton* first, const QString& secondKey,
                   QRadioButton* second);
    void preset(int number);

    KeyValueStore& m_settings;
    Boxes& m_boxes;
    ErrorReporter& m_reporter;

    QGroupBox* m_frame1 = nullptr;
    QGroupBox* m_frame2 = nullptr;
    QGroupBox* m_frame3 = nullptr;
    QRadioButton* m_option1 = nullptr;
    QRadioButton* m_option2 = nullptr;
    QRadioButton* m_option3 = nullptr;
    QRadioButton* m_option4 = nullptr;
    QButtonGroup* m_methodGroup = nullptr;
    QButtonGroup* m_tagGroup = nullptr;
    QCheckBox* m_check1 = nullptr;
    QComboBox* m_combo1 = nullptr;
    QLineEdit* m_text1 = nullptr;
    QLineEdit* m_text2 = nullptr;
    QLabel* m_label1 = nullptr;
    QPushButton* m_pushButton4 = nullptr;
    QPushButton* m_pushButton8 = nullptr;
    QPushButton* m_pushButton9 = nullptr;
    QPushButton* m_presetButtons[4] = {};
};
