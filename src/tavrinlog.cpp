#include "tavrinlog.h"

#include <QtCore/QByteArray>

// Debug lines carry phone numbers, passport data and SMS codes: they stay off unless an
// operator asks for them with the rule "tavrin.debug=true".
#if QT_VERSION >= QT_VERSION_CHECK(5, 4, 0)
Q_LOGGING_CATEGORY(TAVRIN_PLUGIN_LOG, "tavrin", QtWarningMsg)
#else
namespace {

QLoggingCategory::CategoryFilter previousCategoryFilter = 0;

// Before Qt 5.4 a category starts with debug on, and every later change of the rules by the
// host turns it on again: this filter, last in the chain, keeps "tavrin" debug off unless the
// operator's QT_LOGGING_RULES ask for it.
void tavrinCategoryFilter(QLoggingCategory *category)
{
    if (previousCategoryFilter)
        previousCategoryFilter(category);
    if (qstrcmp(category->categoryName(), "tavrin") == 0
        && !qgetenv("QT_LOGGING_RULES").contains("tavrin.debug=true"))
        category->setEnabled(QtDebugMsg, false);
}

// Takes the filter out again when the library is unloaded, so that Qt never calls into it
// afterwards.
struct CategoryFilterInstaller
{
    CategoryFilterInstaller()
    {
        previousCategoryFilter = QLoggingCategory::installFilter(tavrinCategoryFilter);
    }
    ~CategoryFilterInstaller()
    {
        const QLoggingCategory::CategoryFilter current =
            QLoggingCategory::installFilter(previousCategoryFilter);
        if (current != tavrinCategoryFilter)
            QLoggingCategory::installFilter(current);
    }
};

} // namespace

const QLoggingCategory &TAVRIN_PLUGIN_LOG()
{
    static QLoggingCategory category("tavrin");
    static CategoryFilterInstaller installer;
    Q_UNUSED(installer);
    return category;
}
#endif
