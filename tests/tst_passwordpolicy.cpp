#include "ui/dialogs/passwordpolicy.h"

#include <QLabel>
#include <QtTest>

Q_DECLARE_METATYPE(StrengthLevel)

class TestPasswordPolicy : public QObject
{
    Q_OBJECT

private slots:
    void scoreAndLevel_data();
    void scoreAndLevel();
    void everyPunctuationCharacterCounts_data();
    void everyPunctuationCharacterCounts();
    void levelTextsAndStyles_data();
    void levelTextsAndStyles();
    void indicatorLeavesLabelAloneForEmptyText();
};

void TestPasswordPolicy::scoreAndLevel_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("score");
    QTest::addColumn<StrengthLevel>("level");

    QTest::newRow("empty text: unchanged") << QString() << 0 << StrengthLevel::Unchanged;
    QTest::newRow("7 chars, all classes: too short")
        << QStringLiteral("Ab1!xyz") << 4 << StrengthLevel::TooShort;
    QTest::newRow("1 char") << QStringLiteral("a") << 1 << StrengthLevel::TooShort;
    QTest::newRow("8 lower + digits: score 3, medium")
        << QStringLiteral("abcd1234") << 3 << StrengthLevel::Medium;
    QTest::newRow("8 lower only: score 2, low")
        << QStringLiteral("abcdefgh") << 2 << StrengthLevel::Low;
    QTest::newRow("11 lower only: still 1 length point")
        << QStringLiteral("abcdefghijk") << 2 << StrengthLevel::Low;
    QTest::newRow("12 lower only: score 3")
        << QStringLiteral("abcdefghijkl") << 3 << StrengthLevel::Low;
    QTest::newRow("8 upper only") << QStringLiteral("ABCDEFGH") << 2 << StrengthLevel::Low;
    QTest::newRow("8 digits only") << QStringLiteral("12345678") << 2 << StrengthLevel::Low;
    QTest::newRow("8 punctuation only") << QStringLiteral("!@#$%^&*") << 2 << StrengthLevel::Low;
    QTest::newRow("8 blanks: blank is punctuation")
        << QStringLiteral("        ") << 2 << StrengthLevel::Low;
    QTest::newRow("lower + blank: two classes")
        << QStringLiteral("abc defg") << 3 << StrengthLevel::Medium;
    QTest::newRow("upper + lower") << QStringLiteral("ABCDefgh") << 3 << StrengthLevel::Medium;
    QTest::newRow("upper + digit") << QStringLiteral("ABCD1234") << 3 << StrengthLevel::Medium;
    QTest::newRow("upper + punctuation")
        << QStringLiteral("ABCD!@#$") << 3 << StrengthLevel::Medium;
    QTest::newRow("lower + punctuation")
        << QStringLiteral("abcd_-+=") << 3 << StrengthLevel::Medium;
    QTest::newRow("digit + punctuation")
        << QStringLiteral("1234.,;:") << 3 << StrengthLevel::Medium;
    QTest::newRow("lower + upper + digit")
        << QStringLiteral("abCD1234") << 4 << StrengthLevel::High;
    QTest::newRow("lower + digit + punctuation")
        << QStringLiteral("abc_1234") << 4 << StrengthLevel::High;
    QTest::newRow("all four, 8 chars") << QStringLiteral("aB3$efgh") << 5 << StrengthLevel::High;
    QTest::newRow("all four, 12 chars: maximum 6")
        << QStringLiteral("Initpass_456") << 6 << StrengthLevel::High;
    // Non-ASCII: raises the score's "other" point, but is no class of the level.
    QTest::newRow("8 non-ASCII only: level high, score 2")
        << QStringLiteral("密码密码密码密码") << 2 << StrengthLevel::High;
    QTest::newRow("lower + non-ASCII: score has 'other', level one class")
        << QStringLiteral("abcdefgé") << 3 << StrengthLevel::Low;
    QTest::newRow("lower + tab: tab is not in the punctuation set")
        << QStringLiteral("abcdefg\t") << 3 << StrengthLevel::Low;
    QTest::newRow("7 non-ASCII: too short")
        << QStringLiteral("密码密码密码密") << 1 << StrengthLevel::TooShort;
}

void TestPasswordPolicy::scoreAndLevel()
{
    QFETCH(QString, password);
    QFETCH(int, score);
    QFETCH(StrengthLevel, level);
    QCOMPARE(passwordStrengthScore(password), score);
    QCOMPARE(isPasswordStrongEnough(password), score >= 3);
    QCOMPARE(passwordStrengthLevel(password), level);
}

void TestPasswordPolicy::everyPunctuationCharacterCounts_data()
{
    QTest::addColumn<QChar>("character");
    const QString set = QStringLiteral(" !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~");
    QCOMPARE(set.size(), 33);
    for (const QChar c : set)
        QTest::newRow(qPrintable(QStringLiteral("0x%1").arg(c.unicode(), 2, 16))) << c;
}

// Eight lower-case letters are one class; adding any member of the
// punctuation set makes two.
void TestPasswordPolicy::everyPunctuationCharacterCounts()
{
    QFETCH(QChar, character);
    const QString password = QStringLiteral("abcdefgh") + character;
    QCOMPARE(passwordStrengthLevel(password), StrengthLevel::Medium);
    QCOMPARE(passwordStrengthScore(password), 3);
}

void TestPasswordPolicy::levelTextsAndStyles_data()
{
    QTest::addColumn<StrengthLevel>("level");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("style");
    QTest::newRow("unchanged") << StrengthLevel::Unchanged << QString() << QString();
    QTest::newRow("too short") << StrengthLevel::TooShort << QStringLiteral("新密码少于8位！")
                               << QStringLiteral("color:red;");
    QTest::newRow("low") << StrengthLevel::Low << QStringLiteral("密码复杂等级：低")
                         << QStringLiteral("color:red;");
    QTest::newRow("medium") << StrengthLevel::Medium << QStringLiteral("密码复杂等级：中")
                            << QStringLiteral("color:green;");
    QTest::newRow("high") << StrengthLevel::High << QStringLiteral("密码复杂等级：高")
                          << QStringLiteral("color:green;");
}

void TestPasswordPolicy::levelTextsAndStyles()
{
    QFETCH(StrengthLevel, level);
    QFETCH(QString, text);
    QFETCH(QString, style);
    QCOMPARE(strengthLevelText(level), text);
    QCOMPARE(strengthLevelStyle(level), style);
}

void TestPasswordPolicy::indicatorLeavesLabelAloneForEmptyText()
{
    QLabel label;
    showPasswordStrength(&label, QStringLiteral("abc"));
    QCOMPARE(label.text(), QStringLiteral("新密码少于8位！"));
    QCOMPARE(label.styleSheet(), QStringLiteral("color:red;"));
    showPasswordStrength(&label, QString());
    QCOMPARE(label.text(), QStringLiteral("新密码少于8位！"));
    showPasswordStrength(&label, QStringLiteral("abcd1234"));
    QCOMPARE(label.text(), QStringLiteral("密码复杂等级：中"));
    QCOMPARE(label.styleSheet(), QStringLiteral("color:green;"));
}

QTEST_MAIN(TestPasswordPolicy)
#include "tst_passwordpolicy.moc"
