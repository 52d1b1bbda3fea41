#pragma once

#include <string>

#include "gui/Page.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace sextara::platform {
class StringTable;
}

namespace sextara::gui {

// The folder browser: a tree (FolderBrowserControl) whose first level is the
// user's home, the mounted media and the root; an item's subfolders are read
// when it is opened. OK (command::kOk) takes the selected folder; Cancel, Esc
// and the close button take nothing. The buttons' ids follow language, their
// texts the string table.
class FolderBrowser final : public Page {
    Q_OBJECT
public:
    FolderBrowser(const std::string& home, const std::string& root, const platform::StringTable& strings, int language,
                  QWidget* parent = nullptr);

    // The folder confirmed with OK; empty after Cancel or without a selection.
    const std::string& Chosen() const { return chosen_; }
    QTreeWidget* Tree() const { return tree_; }
    // The item's full path: each level's text after its parent's, the first
    // level's text being a whole path.
    static std::string PathOf(const QTreeWidgetItem* item);

public slots:
    void PressOk();

private:
    void Fill(QTreeWidgetItem* item);

    QTreeWidget* tree_ = nullptr;
    std::string chosen_;
};

}  // namespace sextara::gui
