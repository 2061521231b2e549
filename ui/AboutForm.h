#pragma once
// TAboutForm: the About window: the program's name and version and the maker's e-mail and
// web addresses. A click anywhere closes it; a click on an address opens it with the
// desktop's mail program or browser. UI thread only.

#include <QDialog>

class QLabel;

namespace pelmora {

inline constexpr const char* kPelmoraVersion = "0.1.0";
inline constexpr const char* kWebAddress = "https://www.example.com/pelmora";

class TAboutForm : public QDialog
{
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);

    void ApplyTexts();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* Label1 = nullptr; // program name
    QLabel* Label2 = nullptr; // version
    QLabel* Label3 = nullptr; // "Email:"
    QLabel* Label4 = nullptr; // e-mail address
    QLabel* Label5 = nullptr; // "Web Site:"
    QLabel* Label6 = nullptr; // web address
};

} // namespace pelmora
