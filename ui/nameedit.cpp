#include "nameedit.h"

#include <QValidator>

namespace {

// Rejects an edit only when it would make the text longer than the limit
// and longer than it was. setText() is not validated, so the program can
// still put a longer stored name into the box. The edit box already holds
// the new text while it asks, so the previous length is tracked here.
class TypedLengthValidator : public QValidator {
public:
    TypedLengthValidator(QLineEdit *edit, int maxTyped)
        : QValidator(edit), m_maxTyped(maxTyped), m_length(edit->text().size())
    {
        connect(edit, &QLineEdit::textChanged, this, [this](const QString &text) { m_length = text.size(); });
    }

    State validate(QString &input, int &) const override
    {
        if (input.size() > m_maxTyped && input.size() > m_length)
            return Invalid;
        return Acceptable;
    }

private:
    int m_maxTyped;
    qsizetype m_length;
};

} // namespace

NameEdit::NameEdit(QWidget *parent, const QString &name, const QRect &geometry, int maxTyped)
    : QLineEdit(parent)
    , m_maxTyped(maxTyped)
{
    setObjectName(name);
    setGeometry(geometry);
    setValidator(new TypedLengthValidator(this, maxTyped));
}
