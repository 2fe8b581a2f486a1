#pragma once

#include <QWidget>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

class FaultRuleListModel;
class QLabel;
class QMenu;
class QPushButton;
class QTableView;
class QToolButton;
class ServerModel;
struct FaultRule;

// "Fault rules" of the selected unit: a header that opens and closes the list and says how many
// rules are on, the list with its switches, summaries and fired counts, and the buttons to add
// (an empty rule or a common fault), edit, duplicate, remove and move rules. Enter edits the
// selected rule, Space switches it, Delete removes it.
class FaultRulesSection : public QWidget {
    Q_OBJECT

public:
    explicit FaultRulesSection(ServerModel& model, QWidget* parent = nullptr);

    bool isExpanded() const;
    void setExpanded(bool expanded);
    FaultRuleListModel* listModel() const { return list_; }
    QTableView* view() const { return view_; }
    // The selected rule's row, if any.
    std::optional<std::size_t> currentRow() const;
    void selectRow(std::optional<std::size_t> row);

    // Opens the editor on a rule; the edited rule, or nothing when the user cancels. Tests
    // replace it to answer without a dialog.
    using Editor = std::function<std::optional<FaultRule>(const FaultRule&, std::uint8_t unit,
                                                          QWidget* parent)>;
    void setEditor(Editor editor) { editor_ = std::move(editor); }

    void addEmptyRule();
    void addPreset(int preset);
    void editRule();
    void duplicateRule();
    void removeRule();
    void moveRule(int offset);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateHeader();
    void updateButtons();

    ServerModel& model_;
    FaultRuleListModel* list_;
    QToolButton* toggle_;
    QLabel* count_;
    QPushButton* add_;
    QMenu* addMenu_;
    QWidget* body_;
    QTableView* view_;
    QPushButton* edit_;
    QPushButton* duplicate_;
    QPushButton* remove_;
    QPushButton* up_;
    QPushButton* down_;
    Editor editor_;
};
