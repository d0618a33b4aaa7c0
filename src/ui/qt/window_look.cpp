#include "ui/qt/window_look.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFontMetrics>
#include <QProxyStyle>
#include <QStringList>
#include <QStyleFactory>
#include <QStyleOptionComplex>
#include <string_view>

#include "ui/dialog_template.h"

// Resources of a static library are registered by hand; the macro only
// works outside a namespace.
static void registerResources() { Q_INIT_RESOURCE(tamro); }

namespace tamro::qt {

namespace {

// The platform's drop-down list opens below the control and shows as many
// entries as the template's height leaves room for; Fusion's own choice is a
// menu laid over the control that ignores that height.
class DialogStyle : public QProxyStyle {
public:
    DialogStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_ComboBox_Popup) return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

    // The template's lists are narrow for these fonts: a slimmer arrow
    // leaves the entry the room the platform's arrow leaves it.
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                         SubControl part, const QWidget* widget) const override {
        if (control == CC_ComboBox && (part == SC_ComboBoxArrow || part == SC_ComboBoxEditField)) {
            const QRect& whole = option->rect;
            const QRect inner = whole.adjusted(comboFrame, comboFrame, -comboFrame, -comboFrame);
            const QRect rect = part == SC_ComboBoxArrow
                                   ? QRect(inner.right() + 1 - comboArrowWidth, inner.top(),
                                           comboArrowWidth, inner.height())
                                   : inner.adjusted(0, 0, -comboArrowWidth, 0);
            return visualRect(option->direction, whole, rect);
        }
        return QProxyStyle::subControlRect(control, option, part, widget);
    }

private:
    static constexpr int comboFrame = 2;
    static constexpr int comboArrowWidth = 13;
};

}  // namespace

void applyWindowLook(QApplication& app) {
    registerResources();
    QApplication::setStyle(new DialogStyle);
    QApplication::setFont(dialogFont());
    app.setWindowIcon(applicationIcon());
}

QFont dialogFont() {
    QFont font;
    const std::string_view templateFont = setupDialogTemplate.fontName;
    font.setFamilies({QStringLiteral("IPAPGothic"),
                      QString::fromUtf8(templateFont.data(),
                                        static_cast<qsizetype>(templateFont.size())),
                      QStringLiteral("IPAGothic")});
    font.setPointSize(setupDialogTemplate.fontPoints);
    return font;
}

QFont fontFitting(const QFont& base, const QStringList& texts, int room) {
    const auto fits = [&](const QFont& font) {
        const QFontMetrics metrics(font);
        for (const QString& text : texts) {
            if (metrics.horizontalAdvance(text) > room) return false;
        }
        return true;
    };
    if (fits(base)) return base;
    constexpr int narrowest = 75;  // percent: still easy to read
    for (int percent = 99; percent >= narrowest; --percent) {
        QFont font = base;
        font.setStretch(percent);
        if (fits(font)) return font;
        font = base;
        font.setLetterSpacing(QFont::PercentageSpacing, percent);
        if (fits(font)) return font;
    }
    return base;
}

QIcon applicationIcon() {
    registerResources();
    QIcon icon;
    for (const int size : {16, 32, 48, 256}) {
        icon.addFile(QStringLiteral(":/tamro/tamro-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

QString programName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

}  // namespace tamro::qt
