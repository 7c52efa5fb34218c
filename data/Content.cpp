#include "data/Content.h"

namespace Tables {

const std::array<Table, 4>& all() {
    static const std::array<Table, 4> tables = [] {
        QStringList answer{QStringLiteral("Code")};
        for (int i = 1; i <= ItemCount; ++i)
            answer << QString::number(i);
        return std::array<Table, 4>{{
            {QString::fromLatin1(Ide),
             {"Code", "FName", "LName", "Jens", "Sen", "Taahol", "Tahsil", "Group", "Date", "Time",
              "KHalaghiyat", "Balidagi", "Taahod"}},
            {QString::fromLatin1(Answer), answer},
            {QString::fromLatin1(Qus), {"ID", "QU"}},
            {QString::fromLatin1(Theme), {"TH", "Name", "Adress"}},
        }};
    }();
    return tables;
}

const Table& byName(const QString& name) {
    for (const Table& t : all())
        if (t.name.compare(name, Qt::CaseInsensitive) == 0)
            return t;
    static const Table none;
    return none;
}

// Subscales: innovativeness 1 5 7 11 14 17 24 25 26 28 29; maturity 2 12 15 19 23 30 31 32 33;
// engagement the rest. Agreement always means more inclination toward critical thinking.
const std::array<QString, ItemCount>& itemTexts() {
    static const std::array<QString, ItemCount> items{
        QStringLiteral(
            "از یافتن راه‌حل‌های تازه برای مسئله‌ها لذت "
            "می‌برم."),
        QStringLiteral(
            "پیش از داوری دربارهٔ یک موضوع، همهٔ جنبه‌های "
            "آن "
            "را "
            "در "
            "نظر "
            "می‌گیرم."),
        QStringLiteral("برای حل مسئله‌های دشوار وقت و انرژی کافی "
                       "می‌گذارم."),
        QStringLiteral("به توانایی خودم در استدلال درست اعتماد دارم."),
        QStringLiteral(
            "وقتی با مسئله‌ای روبه‌رو می‌شوم، چند راه‌حل "
            "گوناگون "
            "را "
            "می‌سنجم."),
        QStringLiteral("کارهایم را با نظم و برنامه پیش می‌برم."),
        QStringLiteral(
            "دوست دارم دربارهٔ چیزهایی که نمی‌دانم پرسش "
            "کنم."),
        QStringLiteral(
            "وقتی کاری را شروع می‌کنم، تا پایان آن را دنبال "
            "می‌کنم."),
        QStringLiteral(
            "در گفت‌وگو می‌کوشم منظورم را روشن و دقیق بیان "
            "کنم."),
        QStringLiteral("پیش از تصمیم گرفتن، اطلاعات لازم را با دقت بررسی "
                       "می‌کنم."),
        QStringLiteral(
            "از یاد گرفتن موضوع‌های تازه، حتی اگر دشوار "
            "باشند، "
            "استقبال "
            "می‌کنم."),
        QStringLiteral(
            "اگر دلیل قانع‌کننده‌ای بشنوم، نظرم را تغییر "
            "می‌دهم."),
        QStringLiteral("از درگیر شدن با مسئله‌های پیچیده پرهیز "
                       "نمی‌کنم."),
        QStringLiteral(
            "دوست دارم بدانم چیزها چگونه و چرا کار می‌کنند."),
        QStringLiteral(
            "می‌پذیرم که ممکن است در داوری‌هایم اشتباه "
            "کرده "
            "باشم."),
        QStringLiteral(
            "به مهارت خودم در حل مسئله‌ها اطمینان دارم."),
        QStringLiteral(
            "ایده‌های دیگران را فرصتی برای اندیشیدن دوباره "
            "می‌دانم."),
        QStringLiteral("برای فهمیدن یک موضوع دشوار، چند بار آن را مرور "
                       "می‌کنم."),
        QStringLiteral(
            "در تصمیم‌گیری، پیامدهای کوتاه‌مدت و بلندمدت "
            "را "
            "می‌سنجم."),
        QStringLiteral("در تصمیم‌های مهم، به استدلال خودم تکیه "
                       "می‌کنم."),
        QStringLiteral(
            "هنگام حل مسئله می‌کوشم گام‌به‌گام و منظم پیش "
            "بروم."),
        QStringLiteral("وقتی به مشکلی برمی‌خورم، دست از تلاش "
                       "برنمی‌دارم."),
        QStringLiteral(
            "هنگام بحث، احساساتم را از استدلال‌هایم جدا "
            "نگه "
            "می‌دارم."),
        QStringLiteral(
            "برای روشن شدن یک موضوع، از منبع‌های گوناگون "
            "اطلاعات "
            "جمع "
            "می‌کنم."),
        QStringLiteral(
            "از رو‌به‌رو شدن با پرسش‌هایی که پاسخ ساده "
            "ندارند "
            "لذت "
            "می‌برم."),
        QStringLiteral(
            "وقتی راه همیشگی جواب نمی‌دهد، روش دیگری را "
            "امتحان "
            "می‌کنم."),
        QStringLiteral(
            "دیگران برای حل مشکل‌هایشان روی اندیشیدن من "
            "حساب "
            "می‌کنند."),
        QStringLiteral("به دیدگاه‌هایی که با دیدگاه من فرق دارند "
                       "کنجکاوم."),
        QStringLiteral("پیش از پذیرفتن یک ادعا، دلیل‌های آن را "
                       "جست‌وجو "
                       "می‌کنم."),
        QStringLiteral("تا اطلاعات کافی نداشته باشم، نتیجه‌گیری "
                       "نمی‌کنم."),
        QStringLiteral(
            "می‌دانم که بیشتر مسئله‌ها بیش از یک پاسخ درست "
            "دارند."),
        QStringLiteral("وقتی دیگران با من مخالفت می‌کنند، به "
                       "دلیل‌هایشان "
                       "با "
                       "دقت "
                       "گوش "
                       "می‌دهم."),
        QStringLiteral(
            "در موقعیت‌های مبهم، پیش از داوری صبر می‌کنم."),
    };
    return items;
}

const QStringList& sexChoices() {
    static const QStringList choices{QString::fromUtf8("مرد"), QString::fromUtf8("زن")};
    return choices;
}

const QStringList& maritalChoices() {
    static const QStringList choices{QString::fromUtf8("مجرد"), QString::fromUtf8("متأهل")};
    return choices;
}

const std::vector<Index>& indexes() {
    static const std::vector<Index> all{
        {QStringLiteral("vorn_ide_code"), QString::fromLatin1(Ide), QStringLiteral("Code"), true},
        {QStringLiteral("vorn_answer_code"), QString::fromLatin1(Answer), QStringLiteral("Code")},
        {QStringLiteral("vorn_ide_lname"), QString::fromLatin1(Ide), QStringLiteral("LName")},
        {QStringLiteral("vorn_ide_fname"), QString::fromLatin1(Ide), QStringLiteral("FName")},
        {QStringLiteral("vorn_ide_group"), QString::fromLatin1(Ide), QStringLiteral("Group")}};
    return all;
}

const std::vector<Rows>& delivered() {
    static const std::vector<Rows> rows = [] {
        Rows items{QString::fromLatin1(Qus), {QStringLiteral("ID"), QStringLiteral("QU")}, {}};
        for (int i = 0; i < ItemCount; ++i)
            items.values << QStringList{QString::number(i + 1), itemTexts()[size_t(i)]};
        // Empty texts, not nulls: the settings window reads them as they are.
        Rows theme{QString::fromLatin1(Theme),
                   {QStringLiteral("TH"), QStringLiteral("Name"), QStringLiteral("Adress")},
                   {{QString::fromLatin1(DefaultTheme), QStringLiteral(""), QStringLiteral("")}}};
        return std::vector<Rows>{items, theme};
    }();
    return rows;
}

} // namespace Tables
