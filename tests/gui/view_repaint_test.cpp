/*
 * view_repaint_test.cpp - a chassis view shows its own tree and nothing left
 * over: for every chassis family, a tree painted again after other trees and
 * chassis equals its first painting, and exposing the view changes no pixel.
 */
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string_view>

#include <Xm/Label.h>
#include <Xm/LabelG.h>

#include "tests/gui/cabinet_display.h"

namespace {

using namespace display;
using namespace tree;

/* Everything a shown widget tells the operator, one line per widget. */
void describe(Widget w, const std::string &path, std::vector<std::string> &out)
{
    std::ostringstream line;
    line << path << " managed=" << XtIsManaged(w);
    if (XtIsManaged(w)) {
        Pixel fg = 0, bg = 0;
        Pixmap face = 0, insensitive = 0;
        XtVaGetValues(w, XmNforeground, &fg, XmNbackground, &bg, nullptr);
        line << " fg=" << fg << " bg=" << bg << " sensitive=" << XtIsSensitive(w);
        if (XmIsLabel(w) || XmIsLabelGadget(w)) {
            XtVaGetValues(w, XmNlabelPixmap, &face, XmNlabelInsensitivePixmap, &insensitive, nullptr);
            line << " text=[" << gui::label_text(w) << "] pixmap=" << face << "/" << insensitive;
        }
    }
    out.push_back(line.str());
    if (!XtIsManaged(w))
        return;
    for (Widget child : gui::children(w))
        describe(child, path + "/" + XtName(child), out);
}

std::vector<std::string> view_state()
{
    std::vector<std::string> out{"title=[" + gui::label_text(chassis_lbl) + "]"};
    Widget view = display::shown_view();
    if (view != nullptr)
        describe(view, XtName(view), out);
    return out;
}

std::vector<char> view_pixels(Widget view)
{
    Dimension width = 0, height = 0;
    XtVaGetValues(view, XmNwidth, &width, XmNheight, &height, nullptr);
    XImage *image = XGetImage(XtDisplay(view), XtWindow(view), 0, 0, width, height, AllPlanes, ZPixmap);
    if (image == nullptr)
        return {};
    std::vector<char> pixels(image->data, image->data + image->bytes_per_line * image->height);
    XDestroyImage(image);
    return pixels;
}

void expose_all(Display *d, Window w)
{
    XClearArea(d, w, 0, 0, 0, 0, True);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(d, w, &root, &parent, &children, &count) == 0)
        return;
    for (unsigned int i = 0; i < count; ++i)
        expose_all(d, children[i]);
    XFree(children);
}

/* True when drawing the view (or w) again from its widgets changes nothing. */
bool screen_shows_widgets(Widget view = display::shown_view())
{
    settle();
    const std::vector<char> before = view_pixels(view);
    expose_all(XtDisplay(view), XtWindow(view));
    settle();
    return !before.empty() && before == view_pixels(view);
}

/* The pixmaps of the shown labels named <prefix>... below w. */
void shown_pixmaps(Widget w, const char *prefix, std::set<Pixmap> &out)
{
    if (!XtIsManaged(w))
        return;
    Pixmap face = 0;
    if (std::string_view(XtName(w)).starts_with(prefix) && (XmIsLabel(w) || XmIsLabelGadget(w))) {
        XtVaGetValues(w, XmNlabelPixmap, &face, nullptr);
        out.insert(face);
    }
    for (Widget child : gui::children(w))
        shown_pixmaps(child, prefix, out);
}

/* Every status symbol the view shows is one of the status key's, in the
 * key's colours; returns the first that is not (0: none). */
Pixmap symbol_missing_from_key()
{
    std::set<Pixmap> drawn, key;
    shown_pixmaps(display::shown_view(), "stat_", drawn);
    shown_pixmaps(XtNameToWidget(s_key_form, "key_rows"), "s_", key);
    for (Pixmap p : drawn)
        if (key.count(p) == 0)
            return p;
    return 0;
}

constexpr uint8_t FAMILIES[] = {32, 38, 33, 42, 46, 130, 44, 35, 39, 40, 41, 43, 45, 47, 49, 51, 37};
constexpr uint8_t KINDS[] = {1,  2,  3,  4,  5,  10, 11, 13, 15, 16, 18, 20, 21, 22, 23, 24, 25,
                             26, 27, 29, 30, 31, 32, 33, 34, 35, 36, 37, 47, 48, 49, 50};
constexpr uint8_t STATUSES[] = {1, 2, 3, 4, 5, 6, 20, 56, 57, 58, 59, 62, 71, 84, 90, 92, 133, 200};

template <typename T, std::size_t N> T pick(std::mt19937 &rng, const T (&list)[N])
{
    return list[std::uniform_int_distribution<std::size_t>(0, N - 1)(rng)];
}

int upto(std::mt19937 &rng, int n)
{
    return std::uniform_int_distribution<int>(0, n)(rng);
}

Chassis random_chassis(std::mt19937 &rng, uint8_t id, uint8_t type)
{
    Chassis c{id, type, pick(rng, STATUSES), {}};
    for (int s = upto(rng, 8); s > 0; --s) {
        Sub sub{pick(rng, KINDS), {}};
        for (int u = upto(rng, 3) == 0 ? upto(rng, 60) : upto(rng, 10); u > 0; --u)
            sub.statuses.push_back(pick(rng, STATUSES));
        c.subs.push_back(sub);
    }
    return c;
}

/* The family's chassis at `id`, and up to two chassis of any family. */
std::vector<Chassis> random_tree(std::mt19937 &rng, uint8_t id, uint8_t type)
{
    std::vector<Chassis> tree{random_chassis(rng, id, type)};
    for (int other = upto(rng, 2); other > 0; --other) {
        const uint8_t other_id = static_cast<uint8_t>(1 + upto(rng, 19));
        if (other_id != id)
            tree.push_back(random_chassis(rng, other_id, pick(rng, FAMILIES)));
    }
    return tree;
}

void select(int id)
{
    set_chassis_btn(current_chassis, 0);
    set_chassis_btn(id, 1);
    select_chassis_view(id);
}

class ViewRepaint : public CabinetDisplay, public ::testing::WithParamInterface<int> {};

TEST_P(ViewRepaint, AViewPaintedAfterOtherTreesAndChassisEqualsItsFirstPainting)
{
    const auto type = static_cast<uint8_t>(GetParam());
    std::mt19937 rng(type);
    constexpr int kTrees = 3;
    std::vector<std::vector<Chassis>> trees;
    for (int k = 0; k < kTrees; ++k)
        trees.push_back(random_tree(rng, static_cast<uint8_t>(1 + upto(rng, 19)), type));

    std::map<int, std::vector<std::string>> first;
    for (int step = 0; step < 16; ++step) {
        const int k = step < kTrees ? step : upto(rng, kTrees);
        if (k == kTrees) {
            /* Another tree, often of the same family, any of its chassis shown. */
            const uint8_t other_type = upto(rng, 1) == 0 ? type : pick(rng, FAMILIES);
            const std::vector<Chassis> other = random_tree(rng, static_cast<uint8_t>(1 + upto(rng, 19)), other_type);
            show(other);
            select(upto(rng, 2) == 0 ? other.back().id : other.front().id);
            continue;
        }
        SCOPED_TRACE("tree " + std::to_string(k) + " at step " + std::to_string(step));
        if (upto(rng, 1) == 0) {
            /* The same parts in other states first, as a Reload finds them. */
            std::vector<Chassis> changed = trees[k];
            for (Sub &sub : changed.front().subs)
                for (uint8_t &status : sub.statuses)
                    status = pick(rng, STATUSES);
            show(changed);
            select(changed.front().id);
        }
        show(trees[k]);
        select(trees[k].front().id);
        const std::vector<std::string> state = view_state();
        ASSERT_GT(state.size(), 2u);
        if (first.count(k) == 0) {
            first[k] = state;
        } else {
            ASSERT_EQ(first[k].size(), state.size());
            for (std::size_t i = 0; i < state.size(); ++i)
                ASSERT_EQ(first[k][i], state[i]);
        }
        ASSERT_TRUE(screen_shows_widgets());
        ASSERT_EQ(symbol_missing_from_key(), 0u) << display::view_name();
    }
    screenshot("view_repaint_" + std::to_string(type));
}

INSTANTIATE_TEST_SUITE_P(Families, ViewRepaint, ::testing::ValuesIn(std::vector<int>(std::begin(FAMILIES), std::end(FAMILIES))),
                         [](const auto &info) { return "complex" + std::to_string(info.param); });

using WorkDialogText = CabinetDisplay;

TEST_F(WorkDialogText, HoldsItsLongestLineWholeAndLeavesNothingOfAnOlderText)
{
    const std::string long_line = "Unable to read status: Unable to reach the cabinet management controller cmic001 "
                                  "of cabinet Cab001 after three attempts";
    ASSERT_EQ(StartWorkDialog(nullptr, "Cabinet Status - Cab001", "Reading configuration"), 1);
    ASSERT_EQ(AddToWorkDialogMsg(long_line.c_str()), 1);
    ASSERT_EQ(ChangeWorkDialogMsg("Setting up cabinet\ncmic001 not alive"), 1);
    ASSERT_EQ(AddToWorkDialogMsg(long_line.c_str()), 1);
    settle();

    /* The text's label is as wide as its longest line in its font, and the
     * dialog is large enough for the label. */
    XmFontList fonts = nullptr;
    XmString text = nullptr;
    Dimension label_width = 0, label_height = 0, shell_width = 0, shell_height = 0;
    Position x = 0, y = 0;
    XtVaGetValues(WorkText, XmNfontList, &fonts, XmNlabelString, &text, XmNwidth, &label_width, XmNheight,
                  &label_height, XmNx, &x, XmNy, &y, nullptr);
    XtVaGetValues(WorkDialog, XmNwidth, &shell_width, XmNheight, &shell_height, nullptr);
    /* Every line whole: a line cut off at the top leaves bits of its
     * letters between the words of the next. */
    EXPECT_GE(label_height, XmStringHeight(fonts, text));
    EXPECT_GE(shell_height, y + label_height);
    XmString line = XmStringCreateLocalized(const_cast<char *>(long_line.c_str()));
    EXPECT_GE(XmStringWidth(fonts, text), XmStringWidth(fonts, line));
    EXPECT_GE(label_width, XmStringWidth(fonts, line));
    EXPECT_GE(shell_width, x + label_width);
    XmStringFree(line);
    XmStringFree(text);

    /* Drawn again from scratch, the text looks the same: no pixels of the
     * texts it replaced. */
    EXPECT_TRUE(screen_shows_widgets(WorkText));
    screenshot("work_dialog_text");
    EndWorkDialog();
}

} // namespace
