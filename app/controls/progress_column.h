#pragma once
// What a pane shows while its list is being made: a large spinner over the
// progress message, centred across the pane, with room above and below.
#include <QWidget>

class TextLabel;

class ProgressColumn : public QWidget {
    Q_OBJECT
public:
    explicit ProgressColumn(const QString& message = {}, QWidget* parent = nullptr);

    QString message() const;
    void setMessage(const QString& message);

private:
    TextLabel* message_;
};
