/*
 * layout_kit.h - the building blocks every window builder of app/layouts/
 * is made of, so that all chassis windows look and behave alike:
 *
 *   - a component slot: a frame (frm_<stem>) holding the component's toggle
 *     button (btn_<stem>, its picture and the "_f" picture, cru_spec as
 *     client data, cru_repl_cb as callback), its status icon label
 *     (stat_<stem>, starting as STAT.unkn) and a caption (lbl_<stem>);
 *   - a family of slots filling the NULL-terminated arrays that the chassis
 *     views walk (index i = unit i);
 *   - a temperature sensor (frame, status icon, "Temperature\nUnknown");
 *   - titled sections and aligned grids, placed with form attachments.
 *
 * Widget names are the names of the globals they are stored in, so tests
 * and resource files address them directly.
 */
#ifndef XR_APP_LAYOUTS_LAYOUT_KIT_H
#define XR_APP_LAYOUTS_LAYOUT_KIT_H

#include <string>

#include <X11/Intrinsic.h>

#include "base/console_path.h"

namespace lk {

/* Installation folder of every picture. */
constexpr const char *ICON_DIR = CONSOLE_ICONS;

/* The status icon every slot starts with. */
constexpr const char *UNKNOWN_STATUS_ICON = CONSOLE_ICONS "STAT.unkn";

/* Client data of a component without a FRU procedure (memory, PCI, ...). */
constexpr int NO_FRU = 0xFFFF;

/* FRU kinds (high byte of cru_spec). */
enum FruKind {
    FRU_CHASSIS = 0x00,
    FRU_FAN = 0x01,
    FRU_PWR = 0x02,
    FRU_DISK = 0x03,
    FRU_SMB = 0x04,
    FRU_RACK_MB = 0x05,
    FRU_CMIC = 0x06,
    FRU_BAT = 0x07,
    FRU_CTL = 0x08,
    FRU_RCMB_SLOT = 0x09,
    FRU_SWITCH = 0x0A,
    FRU_FUSE_MONITOR = 0x0C,
    FRU_PWR_FAN = 0x0D,
    FRU_CONVERTER = 0x0E,
    FRU_CPU = 0x0F,
    FRU_UPS_IS = 0x10,
    FRU_HUB = 0x11,
    FRU_ESM = 0x12,
    FRU_NONE = -1,
};

/* cru_spec of unit `number` (from 1) of a kind. */
constexpr int cru_spec(int kind, int number) { return kind < 0 ? NO_FRU : (kind << 8) | (number & 0xFF); }

/* How a slot arranges its picture, status icon and caption. */
enum class Shape {
    Column, /* picture over status icon over caption: fans, disks, boards */
    Row,    /* picture, status icon and caption side by side: controllers */
};

/* One component slot. */
struct Slot {
    Widget frm, btn, stat, lbl;
};

/* The arrays of a family (lbl may be null: captions stay unrecorded). */
struct FamilyArrays {
    Widget *frm, *btn, *stat, *lbl;
};

/* Captions of a family: a printf format taking the slot number ("Fan %d"),
 * or a list of fixed texts, one per slot. */
struct Captions {
    const char *format = nullptr;
    const char *const *texts = nullptr;
    std::string for_slot(int index, int number) const;
};

/* A family of `count` slots named <stem><number>, numbers from
 * `first_number`, stored at index offset.. of the arrays; unit numbers of
 * cru_spec run from offset + 1. */
struct FamilySpec {
    const char *stem;
    int count;
    const char *picture; /* file name in ICON_DIR */
    int fru_kind;
    Captions captions;
    Shape shape = Shape::Column;
    int first_number = 1;
    int offset = 0;
};

/* A slot <stem>; its frame is named frm_<stem> unless frame_name is given. */
Slot slot(Widget parent, const std::string &stem, const char *picture, int cru, const std::string &caption,
          Shape shape, const char *frame_name = nullptr);
void family(Widget parent, const FamilySpec &family_shape, const FamilyArrays &out);

/* A temperature sensor <stem>: frm_<stem>, stat_<stem>, lbl_<stem>. */
struct Sensor {
    Widget frm, stat, lbl;
};
Sensor sensor(Widget parent, const std::string &stem);

/* A single slot / sensor stored into the given globals. */
void slot_into(Widget parent, const char *stem, const char *picture, int cru, const char *caption, Shape shape,
               Widget &frm, Widget &btn, Widget &stat, Widget &lbl);
void sensor_into(Widget parent, const char *stem, Widget &frm, Widget &stat, Widget &lbl);

/* `count` sensors <stem><number>, numbers from first_number, into the
 * arrays from their first entry (lbl may be null). */
void sensors(Widget parent, const char *stem, int count, Widget *frm, Widget *stat, Widget *lbl,
             int first_number = 1);

/* Toggle with a text face for a whole chassis (cru_spec 0x0001). */
Widget chassis_toggle(Widget parent, const char *name, const char *text);

/* Toggle with a picture and its "_f" picture, wired to cru_repl_cb. */
Widget component_toggle(Widget parent, const char *name, const char *picture, int cru);

/* Label with text (line breaks honoured). */
Widget text_label(Widget parent, const char *name, const char *text);

/* Label showing a picture file in its own colours. */
Widget picture_label(Widget parent, const char *name, const char *icon_path);

/* The top widget of a chassis window: a frame holding a column of rows;
 * returns the column, *frame_out receives the frame. */
Widget chassis_window(Widget parent, const char *frame_name, Widget *frame_out);

/* A new row of sections at the bottom of a column. */
Widget row(Widget column);

/* A framed section titled `title` (null: no title) whose content is an
 * aligned grid of `rows` rows (0: one row, children packed tight).  Returns
 * the grid; *frame_out (optional) receives the frame. */
Widget section(Widget parent, const char *name, const char *title, int rows, Widget *frame_out = nullptr);

/* A titled section holding one family (one row); returns the section's
 * frame, ready for place(). */
Widget family_section(Widget parent, const char *name, const char *title, const FamilySpec &family_shape,
                      const FamilyArrays &arrays, int rows = 0);

/* An unframed aligned grid of `lines` rows (horizontal) or columns
 * (vertical); 0 packs the children tight in one line. */
Widget grid(Widget parent, const char *name, int lines, bool vertical = false);

/* Form attachments: top below `above` (the form's top when null), left next
 * to `left` (the form's left when null). */
void place(Widget w, Widget above, Widget left, int offset = 4);

/* Makes a section's content a column instead of a row. */
void vertical(Widget grid);

} // namespace lk

#endif
