#include "app/versioninfowidget.h"

VersionInfoWidget::VersionInfoWidget(QWidget *parent) : QWidget(parent) {}
