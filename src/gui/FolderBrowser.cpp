#include "gui/FolderBrowser.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "gui/DialogSupport.h"
#include "record/FolderList.h"
#include "ui/ControlIds.h"

namespace sextara::gui {

using ui::FolderBrowserControl;
namespace {

// Set once an item's subfolders have been read.
constexpr int kFilledRole = Qt::UserRole + 1;

QTreeWidgetItem* NewItem(const std::string& text) {
    auto* item = new QTreeWidgetItem(QStringList{QString::fromStdString(text)});
    // Whether it has subfolders is known only once it is opened.
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
}

}  // namespace

FolderBrowser::FolderBrowser(const std::string& home, const std::string& root, const platform::StringTable& strings,
                             int language, QWidget* parent)
    : Page(strings, language != 0, parent) {
    tree_ = Named(new QTreeWidget(this), FolderBrowserControl::Tree);
    tree_->setHeaderHidden(true);
    for (const std::string& top : FolderTops(home, root)) tree_->addTopLevelItem(NewItem(top));
    connect(tree_, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { Fill(item); });

    auto* ok = AddBarButton(command::kOk, StringId::kOk);
    auto* cancel = AddBarButton(command::kCancel, StringId::kCancel);
    connect(ok, &QPushButton::clicked, this, &FolderBrowser::PressOk);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    Body()->addWidget(tree_, 1);
}

std::string FolderBrowser::PathOf(const QTreeWidgetItem* item) {
    if (item == nullptr) return {};
    const std::string text = item->text(0).toStdString();
    if (item->parent() == nullptr) return text;
    return JoinFolder(PathOf(item->parent()), text);
}

void FolderBrowser::Fill(QTreeWidgetItem* item) {
    if (item->data(0, kFilledRole).toBool()) return;
    item->setData(0, kFilledRole, true);
    std::vector<FolderId> ancestors;
    for (const QTreeWidgetItem* above = item->parent(); above != nullptr; above = above->parent()) {
        FolderId id;
        if (FolderIdOf(PathOf(above), id)) ancestors.push_back(id);
    }
    const std::vector<std::string> names = ListSubfolders(PathOf(item), ancestors);
    for (const std::string& name : names) item->addChild(NewItem(name));
    if (names.empty()) item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
}

void FolderBrowser::PressOk() {
    chosen_ = PathOf(tree_->currentItem());
    accept();
}

}  // namespace sextara::gui
