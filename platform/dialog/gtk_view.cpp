// The GTK face of a dialog: real widgets placed at the template's positions,
// whose signals become the user's actions of the dialog manager.
// Our headers come first: GLib defines TRUE and FALSE only where they are not
// defined yet, and ours would clash with its spelling otherwise.
#include "platform/dialog/dialog_record_internal.h"
#include "platform/kernel.h"

#include <fontconfig/fontconfig.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace platform::dialog {

struct DialogView {
    DialogRecord* record = nullptr;
    GtkWidget* window = nullptr;
    GtkCssProvider* css = nullptr;
    int baseUnitX = 6;
    int baseUnitY = 12;
};

namespace {

constexpr const char* kControlKey = "platform-dialog-control";

std::string Cp932ToUtf8(const char* text) {
    if (text == nullptr || text[0] == '\0') {
        return std::string();
    }
    int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (units <= 0) {
        return std::string(text);
    }
    std::vector<WCHAR> wide(units);
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), units);
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return std::string(text);
    }
    std::string utf8(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, utf8.data(), bytes, nullptr, nullptr);
    utf8.resize(bytes - 1);
    return utf8;
}

bool IsProportional(FcPattern* font) {
    int spacing = FC_PROPORTIONAL;
    FcPatternGetInteger(font, FC_SPACING, 0, &spacing);
    return spacing == FC_PROPORTIONAL;
}

bool CoversJapanese(FcPattern* font) {
    FcLangSet* languages = nullptr;
    if (FcPatternGetLangSet(font, FC_LANG, 0, &languages) != FcResultMatch) {
        return false;
    }
    return FcLangSetHasLang(languages, reinterpret_cast<const FcChar8*>("ja")) == FcLangEqual;
}

// The template's Japanese UI face is proportional; of the fonts fontconfig
// offers for it, the first proportional Japanese one comes closest, then any
// Japanese one.
std::string MapFontFamily(const std::string& family) {
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcFontSet* fonts = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result);
    std::string proportional;
    std::string japanese;
    for (int i = 0; fonts != nullptr && i < fonts->nfont; ++i) {
        FcChar8* name = nullptr;
        if (FcPatternGetString(fonts->fonts[i], FC_FAMILY, 0, &name) != FcResultMatch ||
            !CoversJapanese(fonts->fonts[i])) {
            continue;
        }
        if (japanese.empty()) {
            japanese = reinterpret_cast<const char*>(name);
        }
        if (IsProportional(fonts->fonts[i])) {
            proportional = reinterpret_cast<const char*>(name);
            break;
        }
    }
    if (fonts != nullptr) {
        FcFontSetDestroy(fonts);
    }
    FcPatternDestroy(pattern);
    if (!proportional.empty()) {
        return proportional;
    }
    return japanese.empty() ? family : japanese;
}

// Dialog units: a quarter of the font's average letter width across, an
// eighth of its height down.
void MeasureBaseUnits(DialogView* view, const std::string& family, int pointSize) {
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, family.c_str());
    pango_font_description_set_size(font, pointSize * PANGO_SCALE);
    PangoLayout* layout = gtk_widget_create_pango_layout(view->window, nullptr);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_text(layout, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", -1);
    int width = 0;
    int height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    PangoFontMetrics* metrics = pango_context_get_metrics(pango_layout_get_context(layout), font,
                                                          pango_language_from_string("ja"));
    int fontHeight = PANGO_PIXELS_CEIL(pango_font_metrics_get_ascent(metrics) +
                                       pango_font_metrics_get_descent(metrics));
    pango_font_metrics_unref(metrics);
    g_object_unref(layout);
    pango_font_description_free(font);
    if (width > 0) {
        view->baseUnitX = (width / 26 + 1) / 2;
    }
    if (fontHeight > 0) {
        view->baseUnitY = fontHeight;
    }
}

int PixelsX(const DialogView* view, int units) {
    return (units * view->baseUnitX + 2) / 4;
}
int PixelsY(const DialogView* view, int units) {
    return (units * view->baseUnitY + 4) / 8;
}

void ApplyStyle(DialogView* view, const std::string& name, const std::string& family,
                int pointSize) {
    std::string scope = "#" + name;
    std::string css = scope + ", " + scope + " * { font-family: \"" + family +
                      "\"; font-size: " + std::to_string(pointSize) + "pt; }\n" + scope +
                      " button { padding: 0 2px; min-height: 0; min-width: 0; }\n" + scope +
                      " checkbutton, " + scope + " radiobutton { padding: 0; }\n" + scope +
                      " check, " + scope + " radio { margin: 0 3px 0 0; }\n" + scope +
                      " frame > label { margin: 0 2px; }\n";
    view->css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(view->css, css.c_str(), -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(),
                                              GTK_STYLE_PROVIDER(view->css),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

// A label keeps to its control's size, so that it never spills over its
// neighbours; the layout grows the dialog until each fits whole.
GtkWidget* MakeLabel(const char* text) {
    GtkWidget* label = gtk_label_new(Cp932ToUtf8(text).c_str());
    gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    return label;
}

DialogControl* ControlOf(GtkWidget* widget) {
    if (widget == nullptr) {
        return nullptr;
    }
    return static_cast<DialogControl*>(g_object_get_data(G_OBJECT(widget), kControlKey));
}

void OnClicked(GtkWidget* widget, gpointer data) {
    auto* control = static_cast<DialogControl*>(data);
    if (control->dialog->updatingWidgets > 0) {
        return;
    }
    UserClicked(control);
}

gboolean OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer data) {
    auto* view = static_cast<DialogView*>(data);
    switch (event->keyval) {
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
        case GDK_KEY_ISO_Enter:
            UserPressedKey(view->record, VK_RETURN,
                           ControlOf(gtk_window_get_focus(GTK_WINDOW(view->window))));
            return TRUE;
        case GDK_KEY_Escape:
            UserPressedKey(view->record, VK_ESCAPE, nullptr);
            return TRUE;
        default:
            return FALSE;
    }
}

gboolean OnDelete(GtkWidget* widget, GdkEvent* event, gpointer data) {
    UserClosed(static_cast<DialogView*>(data)->record);
    return TRUE;  // the dialog procedure decides whether the window goes
}

GtkWidget* MakeWidget(DialogView* view, GtkWidget* fixed, DialogControl* control) {
    const DialogItemTemplate* item = control->item;
    GtkWidget* widget = nullptr;
    switch (control->kind) {
        case ControlKind::kGroupBox: {
            widget = gtk_frame_new(nullptr);
            GtkWidget* label = MakeLabel(item->label);
            gtk_frame_set_label_widget(GTK_FRAME(widget), label);
            break;
        }
        case ControlKind::kCheckBox:
            widget = gtk_check_button_new();
            gtk_container_add(GTK_CONTAINER(widget), MakeLabel(item->label));
            break;
        case ControlKind::kRadioButton: {
            // A GTK radio group always has one member selected; a hidden
            // partner per button lets the button be cleared on its own.
            GtkWidget* partner = gtk_radio_button_new(nullptr);
            gtk_widget_set_no_show_all(partner, TRUE);
            gtk_fixed_put(GTK_FIXED(fixed), partner, 0, 0);
            widget = gtk_radio_button_new_from_widget(GTK_RADIO_BUTTON(partner));
            gtk_container_add(GTK_CONTAINER(widget), MakeLabel(item->label));
            gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(partner), TRUE);
            control->clearWidget = partner;
            break;
        }
        default: {
            widget = gtk_button_new();
            GtkWidget* label = MakeLabel(item->label);
            gtk_label_set_xalign(GTK_LABEL(label), 0.5f);
            gtk_container_add(GTK_CONTAINER(widget), label);
            break;
        }
    }
    gtk_fixed_put(GTK_FIXED(fixed), widget, 0, 0);  // placed by LayOut
    g_object_set_data(G_OBJECT(widget), kControlKey, control);
    if (control->kind != ControlKind::kGroupBox) {
        g_signal_connect(widget, "clicked", G_CALLBACK(OnClicked), control);
    }
    if (control->kind == ControlKind::kDefaultPushButton) {
        gtk_widget_set_can_default(widget, TRUE);
        gtk_window_set_default(GTK_WINDOW(view->window), widget);
    }
    return widget;
}

// How much the template must grow, across and down, so that every control's
// content fits: the template's units were made for another face and are a
// minimum. Growing the whole template alike keeps its controls apart.
void MeasureGrowth(DialogView* view, double* across, double* down) {
    *across = 1.0;
    *down = 1.0;
    DialogRecord* record = view->record;
    for (int i = 0; i < record->controlCount; ++i) {
        const DialogItemTemplate* item = record->controls[i].item;
        auto* widget = static_cast<GtkWidget*>(record->controls[i].widget);
        int minimum = 0;
        int naturalWidth = 0;
        int naturalHeight = 0;
        gtk_widget_get_preferred_width(widget, &minimum, &naturalWidth);
        gtk_widget_get_preferred_height_for_width(widget, naturalWidth, &minimum, &naturalHeight);
        int width = PixelsX(view, item->cx);
        int height = PixelsY(view, item->cy);
        if (width > 0 && naturalWidth > width) {
            *across = std::max(*across, static_cast<double>(naturalWidth) / width);
        }
        // A group box's height is its frame around other controls, not its label's.
        if (record->controls[i].kind != ControlKind::kGroupBox && height > 0 &&
            naturalHeight > height) {
            *down = std::max(*down, static_cast<double>(naturalHeight) / height);
        }
    }
}

int Grown(int pixels, double factor) {
    return static_cast<int>(std::ceil(pixels * factor));
}

void LayOut(DialogView* view, GtkWidget* fixed) {
    // Hidden widgets ask for no room: the controls are measured shown (the
    // window itself stays hidden until the dialog shows it).
    gtk_widget_show_all(fixed);
    double across = 1.0;
    double down = 1.0;
    MeasureGrowth(view, &across, &down);
    DialogRecord* record = view->record;
    for (int i = 0; i < record->controlCount; ++i) {
        const DialogItemTemplate* item = record->controls[i].item;
        auto* widget = static_cast<GtkWidget*>(record->controls[i].widget);
        gtk_widget_set_size_request(widget, Grown(PixelsX(view, item->cx), across),
                                    Grown(PixelsY(view, item->cy), down));
        gtk_fixed_move(GTK_FIXED(fixed), widget, Grown(PixelsX(view, item->x), across),
                       Grown(PixelsY(view, item->y), down));
    }
    const DialogTemplate* dialogTemplate = record->dialogTemplate;
    gtk_widget_set_size_request(fixed, Grown(PixelsX(view, dialogTemplate->cx), across),
                                Grown(PixelsY(view, dialogTemplate->cy), down));
}

// The label inside a control's widget (a frame's is its label widget).
GtkWidget* LabelOf(GtkWidget* widget) {
    if (GTK_IS_FRAME(widget)) {
        return gtk_frame_get_label_widget(GTK_FRAME(widget));
    }
    return GTK_IS_BIN(widget) ? gtk_bin_get_child(GTK_BIN(widget)) : nullptr;
}

void SetIcon(DialogView* view) {
    const ProgramIcon* icon = FindProgramIcon();
    if (icon == nullptr) {
        return;
    }
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, icon->width, icon->height);
    if (pixbuf == nullptr) {
        return;
    }
    guchar* rows = gdk_pixbuf_get_pixels(pixbuf);
    int stride = gdk_pixbuf_get_rowstride(pixbuf);
    for (int y = 0; y < icon->height; ++y) {
        for (int x = 0; x < icon->width; ++x) {
            uint32_t argb = icon->pixels[static_cast<size_t>(y) * icon->width + x];
            guchar* pixel = rows + y * stride + x * 4;
            pixel[0] = static_cast<guchar>(argb >> 16);
            pixel[1] = static_cast<guchar>(argb >> 8);
            pixel[2] = static_cast<guchar>(argb);
            pixel[3] = static_cast<guchar>(argb >> 24);
        }
    }
    gtk_window_set_icon(GTK_WINDOW(view->window), pixbuf);
    g_object_unref(pixbuf);
}

// Tab moves through the tab stops in creation order, as the template lists them.
void SetTabOrder(DialogView* view, GtkWidget* fixed) {
    GList* chain = nullptr;
    DialogRecord* record = view->record;
    for (int i = 0; i < record->controlCount; ++i) {
        DialogControl& control = record->controls[i];
        if (IsTabStop(control)) {
            chain = g_list_append(chain, control.widget);
        }
    }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    gtk_container_set_focus_chain(GTK_CONTAINER(fixed), chain);
#pragma GCC diagnostic pop
    g_list_free(chain);
}

int g_viewCount = 0;

// GTK's own work (redraws, windows going away) goes on while the program
// waits for messages outside a dialog.
void RunPendingGtkEvents(void*) {
    while (gtk_events_pending()) {
        gtk_main_iteration_do(FALSE);
    }
}

}  // namespace

bool ViewAvailable() {
    static int available = -1;
    if (available < 0) {
        available = gtk_init_check(nullptr, nullptr) ? 1 : 0;
        if (available == 1) {
            SetMessagePumpHook(RunPendingGtkEvents, nullptr);
        }
    }
    return available == 1;
}

DialogView* CreateView(DialogRecord* record) {
    if (!ViewAvailable()) {
        return nullptr;
    }
    const DialogTemplate* dialogTemplate = record->dialogTemplate;
    auto* view = new DialogView;
    view->record = record;
    view->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    std::string name = "platform-dialog-" + std::to_string(++g_viewCount);
    gtk_widget_set_name(view->window, name.c_str());
    std::string family = MapFontFamily(Cp932ToUtf8(dialogTemplate->fontName));
    int pointSize = dialogTemplate->pointSize > 0 ? dialogTemplate->pointSize : 9;
    ApplyStyle(view, name, family, pointSize);
    MeasureBaseUnits(view, family, pointSize);

    GtkWindow* window = GTK_WINDOW(view->window);
    gtk_window_set_title(window, Cp932ToUtf8(dialogTemplate->caption).c_str());
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_modal(window, TRUE);
    gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_deletable(window, (dialogTemplate->style & WS_SYSMENU) != 0);
    gtk_window_move(window, PixelsX(view, dialogTemplate->x), PixelsY(view, dialogTemplate->y));
    SetIcon(view);

    GtkWidget* fixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(view->window), fixed);
    for (int i = 0; i < record->controlCount; ++i) {
        record->controls[i].widget = MakeWidget(view, fixed, &record->controls[i]);
    }
    LayOut(view, fixed);
    SetTabOrder(view, fixed);
    g_signal_connect(view->window, "key-press-event", G_CALLBACK(OnKeyPress), view);
    g_signal_connect(view->window, "delete-event", G_CALLBACK(OnDelete), view);
    return view;
}

void ShowView(DialogView* view) {
    if (view == nullptr) {
        return;
    }
    gtk_widget_show_all(view->window);
    DialogRecord* record = view->record;
    for (int i = 0; i < record->controlCount; ++i) {
        if (IsTabStop(record->controls[i])) {
            gtk_widget_grab_focus(static_cast<GtkWidget*>(record->controls[i].widget));
            break;
        }
    }
    gtk_window_present(GTK_WINDOW(view->window));
}

void UpdateViewCheck(DialogView* view, DialogControl* control) {
    if (view == nullptr || control->widget == nullptr) {
        return;
    }
    ++control->dialog->updatingWidgets;
    bool checked = control->checked == BST_CHECKED;
    if (control->kind == ControlKind::kRadioButton && !checked) {
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(control->clearWidget), TRUE);
    } else {
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(control->widget), checked);
    }
    --control->dialog->updatingWidgets;
}

void RunViewOnce() {
    gtk_main_iteration_do(TRUE);
}

bool WaitForViewLaidOut(DialogView* view) {
    if (view == nullptr) {
        return false;
    }
    // GTK places widgets in its own frame cycle after the window maps.
    for (int spins = 0; spins < 100000; ++spins) {
        RunPendingGtkEvents(nullptr);
        if (gtk_widget_get_mapped(view->window) &&
            gtk_widget_get_allocated_width(view->window) > 1) {
            RunPendingGtkEvents(nullptr);
            return true;
        }
        g_usleep(1000);
    }
    return false;
}

int CountCutLabels(DialogView* view) {
    if (view == nullptr) {
        return -1;
    }
    int cut = 0;
    for (int i = 0; i < view->record->controlCount; ++i) {
        GtkWidget* label = LabelOf(static_cast<GtkWidget*>(view->record->controls[i].widget));
        if (label == nullptr || !GTK_IS_LABEL(label)) {
            continue;
        }
        int minimum = 0;
        int natural = 0;
        gtk_widget_get_preferred_width(label, &minimum, &natural);
        bool ellipsized = pango_layout_is_ellipsized(gtk_label_get_layout(GTK_LABEL(label)));
        if (ellipsized || gtk_widget_get_allocated_width(label) < natural) {
            ++cut;
        }
    }
    return cut;
}

void DestroyView(DialogView* view) {
    if (view == nullptr) {
        return;
    }
    gtk_widget_destroy(view->window);
    gtk_style_context_remove_provider_for_screen(gdk_screen_get_default(),
                                                 GTK_STYLE_PROVIDER(view->css));
    g_object_unref(view->css);
    // Let the window leave the screen before the program goes on.
    RunPendingGtkEvents(nullptr);
    for (int i = 0; i < view->record->controlCount; ++i) {
        view->record->controls[i].widget = nullptr;
        view->record->controls[i].clearWidget = nullptr;
    }
    view->record->view = nullptr;
    delete view;
}

}  // namespace platform::dialog
