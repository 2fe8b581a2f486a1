#pragma once

class QEvent;
class QWidget;

// Popups that open under the button that shows them, as the frame and network popovers do.
namespace Popover {

// Sizes the popup to its contents and shows it under anchor, kept on the anchor's screen.
void showBelow(QWidget* popup, const QWidget* anchor);

// For the popup's event filter: a click on the anchor closes the open popup; replaying that
// click on the anchor would open it again at once.
void suppressReopen(QWidget* popup, const QEvent* event, const QWidget* anchor);

} // namespace Popover
