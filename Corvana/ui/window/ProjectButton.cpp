#include "Corvana/ui/window/ProjectButton.h"

#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Localization/L10n.h"

#include <QMenu>

ProjectButton::ProjectButton(ServerModel& model, QWidget* parent)
    : QToolButton(parent) {
    setObjectName(QStringLiteral("projectButton"));
    setText(Ui::text(L10n::Project::project()));
    setIcon(Ui::symbol("doc"));
    setToolTip(Ui::text(L10n::Project::projectHint()));
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setPopupMode(QToolButton::InstantPopup);

    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("projectMenu"));
    connect(menu->addAction(Ui::text(L10n::Menu::newProject())), &QAction::triggered, &model,
            &ServerModel::newProject);
    connect(menu->addAction(Ui::text(L10n::Menu::openProject())), &QAction::triggered, &model,
            &ServerModel::openProject);
    connect(menu->addAction(Ui::text(L10n::Menu::saveProject())), &QAction::triggered, &model,
            [&model] { model.saveProject(); });
    connect(menu->addAction(Ui::text(L10n::Menu::saveProjectAs())), &QAction::triggered, &model,
            [&model] { model.saveProjectAs(); });
    setMenu(menu);
}
