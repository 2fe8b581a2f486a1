#pragma once

#include <QToolButton>

class ServerModel;

// "Project" in the toolbar: new, open and save-as of the project.
class ProjectButton : public QToolButton {
    Q_OBJECT

public:
    explicit ProjectButton(ServerModel& model, QWidget* parent = nullptr);
};
