#pragma once
// The voluntary sign-up form: name, company, e-mail, how the user heard of
// the product and two notification wishes, sent to the maker's site in one
// GET request, only when the user presses OK.
#include <QDialog>
#include <QString>

#include <optional>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace parvane {

struct KExtrasContext;

// A field as the site expects it: Base64 of its UTF-16LE text with CR LF
// after every 76 characters; nothing when it holds more than 60 characters.
std::optional<QString> EncodeSignUpField(const QString& field);

class KRegistrationDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxField = 60;
    // The result of "Do Not Register": done, and not offered again.
    static constexpr int kDoNotRegister = 3;

    KRegistrationDlg(const KExtrasContext& context, QWidget* parent = nullptr);

    QLineEdit* NameEdit() const { return m_name; }
    QLineEdit* CompanyEdit() const { return m_company; }
    QLineEdit* EmailEdit() const { return m_email; }
    QLineEdit* AboutEdit() const { return m_about; }
    QCheckBox* PatchesCheck() const { return m_patches; }
    QCheckBox* OtherCheck() const { return m_other; }
    QPushButton* OkButton() const { return m_ok; }
    // True while the request is on its way.
    bool Sending() const { return m_sending; }

    void OnOK();
    void OnDoNotRegister();

private:
    void UpdateOkButton();

    const KExtrasContext& m_context;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_company = nullptr;
    QLineEdit* m_email = nullptr;
    QLineEdit* m_about = nullptr;
    QCheckBox* m_patches = nullptr;
    QCheckBox* m_other = nullptr;
    QPushButton* m_ok = nullptr;
    bool m_sending = false;
};

// Offers the form; true when it was completed (signed up, or declined for good).
bool RunSignUp(QWidget* parent, const KExtrasContext& context);

}  // namespace parvane
