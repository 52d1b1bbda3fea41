// The window library is filled by the main view and the dialogs.
namespace sextara::gui {
int GuiLibraryMarker() { return 0; }
}  // namespace sextara::gui
