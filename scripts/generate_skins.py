#!/usr/bin/env python3
"""Writes the skins' style sheets from one template and a palette per skin.

The built-in styles go to skins/builtin/<Style>.qss (compiled into the program),
the theme files to skins/<name>.sui (shipped beside it). Run it after changing
the template or a palette and commit the results.
"""
import pathlib
import struct
import zlib

ROOT = pathlib.Path(__file__).resolve().parent.parent

TEMPLATE = """/* Zorvex skin "{title}". Qt style sheet. */
QWidget {{
    color: {text};
    font-size: 9pt;
}}
QMainWindow, QDialog, QMessageBox {{
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 {win_top}, stop:1 {win_bottom});
}}
QLabel {{ background: transparent; }}
QToolBar {{
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 {bar_top}, stop:1 {bar_bottom});
    border: none;
    border-bottom: 1px solid {frame};
    spacing: 3px;
    padding: 3px;
}}
QToolBar::separator {{ background: {frame}; width: 1px; margin: 4px 6px; }}
QToolButton {{
    color: {bar_text};
    background: transparent;
    border: 1px solid transparent;
    border-radius: {radius}px;
    padding: 3px 6px;
}}
QToolButton:hover {{
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 {hover_top}, stop:1 {hover_bottom});
    border-color: {accent};
    color: {hover_text};
}}
QToolButton:pressed, QToolButton:checked {{ background: {accent}; color: {accent_text}; }}
QToolButton:disabled {{ color: {disabled}; }}
QToolButton::menu-indicator {{ subcontrol-position: right bottom; }}
QPushButton {{
    color: {button_text};
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 {button_top}, stop:1 {button_bottom});
    border: 1px solid {button_border};
    border-radius: {radius}px;
    padding: 3px 12px;
    min-height: 18px;
}}
QPushButton:hover {{
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 {hover_top}, stop:1 {hover_bottom});
    border-color: {accent};
    color: {hover_text};
}}
QPushButton:pressed {{ background: {accent}; color: {accent_text}; }}
QPushButton:default {{ border: 2px solid {accent}; }}
QPushButton:disabled {{ color: {disabled}; border-color: {frame}; }}
QGroupBox {{
    background: {group_bg};
    border: 1px solid {frame};
    border-radius: {radius}px;
    margin-top: 14px;
    padding-top: 6px;
}}
QGroupBox::title {{
    subcontrol-origin: margin;
    subcontrol-position: top left;
    left: 8px;
    padding: 0 4px;
    color: {title_color};
    font-weight: bold;
}}
QLineEdit, QComboBox, QSpinBox {{
    color: {input_text};
    background: {input_bg};
    border: 1px solid {input_border};
    border-radius: {small_radius}px;
    padding: 2px 4px;
    selection-background-color: {accent};
    selection-color: {accent_text};
}}
QLineEdit:read-only {{ background: {readonly_bg}; }}
QLineEdit:focus, QComboBox:focus {{ border-color: {accent}; }}
QLineEdit:disabled, QComboBox:disabled {{ color: {disabled}; }}
QComboBox::drop-down {{
    border-left: 1px solid {input_border};
    width: 16px;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 {button_top}, stop:1 {button_bottom});
}}
QComboBox::down-arrow {{ image: url(:/skins/images/{arrow}.png); width: 8px; height: 5px; }}
QComboBox QAbstractItemView {{
    color: {input_text};
    background: {input_bg};
    selection-background-color: {accent};
    selection-color: {accent_text};
}}
QTableView, QTreeView, QListView {{
    color: {input_text};
    background: {view_bg};
    alternate-background-color: {view_alt};
    gridline-color: {grid};
    border: 1px solid {frame};
    selection-background-color: {accent};
    selection-color: {accent_text};
}}
QHeaderView::section {{
    color: {header_text};
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 {header_top}, stop:1 {header_bottom});
    border: none;
    border-right: 1px solid {frame};
    border-bottom: 1px solid {frame};
    padding: 2px 4px;
}}
QProgressBar {{
    color: {progress_text};
    background: {progress_bg};
    border: 1px solid {frame};
    border-radius: {small_radius}px;
    text-align: center;
}}
QProgressBar::chunk {{
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 {chunk_top}, stop:1 {chunk_bottom});
    border-radius: {small_radius}px;
}}
QMenu {{
    color: {menu_text};
    background: {menu_bg};
    border: 1px solid {frame};
    padding: 2px;
}}
QMenu::item {{ padding: 4px 24px 4px 20px; }}
QMenu::item:selected {{ background: {accent}; color: {accent_text}; }}
QMenu::item:disabled {{ color: {disabled}; }}
QMenu::separator {{ height: 1px; background: {frame}; margin: 3px 6px; }}
QStatusBar {{
    color: {bar_text};
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 {bar_top}, stop:1 {bar_bottom});
    border-top: 1px solid {frame};
}}
QTabWidget::pane {{ border: 1px solid {frame}; background: {group_bg}; }}
QTabBar::tab {{
    color: {button_text};
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 {button_top}, stop:1 {button_bottom});
    border: 1px solid {frame};
    padding: 4px 10px;
    border-top-left-radius: {small_radius}px;
    border-top-right-radius: {small_radius}px;
}}
QTabBar::tab:selected {{ background: {accent}; color: {accent_text}; }}
QCheckBox, QRadioButton {{ background: transparent; spacing: 5px; }}
QCheckBox::indicator, QRadioButton::indicator {{
    width: 13px;
    height: 13px;
    background: {input_bg};
    border: 1px solid {indicator_border};
}}
QCheckBox::indicator {{ border-radius: 2px; }}
QRadioButton::indicator {{ border-radius: 7px; }}
QCheckBox::indicator:hover, QRadioButton::indicator:hover {{ border-color: {accent}; }}
QCheckBox::indicator:checked {{ background: {accent}; border-color: {accent}; image: url(:/skins/images/check.png); }}
QRadioButton::indicator:checked {{
    background: qradialgradient(cx:0.5, cy:0.5, radius:0.5, fx:0.5, fy:0.5,
                                stop:0 {accent_text}, stop:0.4 {accent_text}, stop:0.5 {accent}, stop:1 {accent});
    border-color: {accent};
}}
QCheckBox::indicator:disabled, QRadioButton::indicator:disabled {{ background: {readonly_bg}; border-color: {disabled}; }}
QFileDialog QToolButton {{ padding: 1px; }}
QCheckBox:disabled, QRadioButton:disabled, QLabel:disabled {{ color: {disabled}; }}
QSlider::groove:horizontal {{ height: 4px; background: {progress_bg}; border: 1px solid {frame}; border-radius: 2px; }}
QSlider::handle:horizontal {{ width: 10px; margin: -5px 0; background: {accent}; border: 1px solid {frame}; border-radius: {small_radius}px; }}
QScrollBar:vertical, QScrollBar:horizontal {{ background: {view_alt}; border: none; }}
QScrollBar:vertical {{ width: 12px; }}
QScrollBar:horizontal {{ height: 12px; }}
QScrollBar::handle {{ background: {scroll}; border-radius: 4px; min-height: 20px; min-width: 20px; margin: 2px; }}
QScrollBar::add-line, QScrollBar::sub-line {{ width: 0; height: 0; }}
QToolTip {{ color: {menu_text}; background: {menu_bg}; border: 1px solid {accent}; }}
"""


def light(title, accent, accent_dark, tint, tint_dark, radius=4, **extra):
    """A light skin: tinted window, white views, accent for selection."""
    p = dict(
        title=title, text="#1d1d1d", win_top=tint, win_bottom=tint_dark,
        bar_top="#ffffff", bar_bottom=tint, bar_text="#1d1d1d", frame=accent_dark,
        hover_top="#ffffff", hover_bottom=tint, hover_text="#000000",
        accent=accent, accent_text="#ffffff", disabled="#8c8c8c",
        button_text="#1d1d1d", button_top="#ffffff", button_bottom=tint_dark,
        button_border=accent_dark, group_bg="rgba(255, 255, 255, 150)", title_color=accent_dark,
        input_text="#111111", input_bg="#ffffff", input_border=accent_dark, readonly_bg=tint,
        view_bg="#ffffff", view_alt=tint, grid=tint_dark, header_text="#1d1d1d",
        header_top="#ffffff", header_bottom=tint_dark, progress_text="#111111",
        progress_bg="#ffffff", chunk_top=tint_dark, chunk_bottom=accent,
        menu_text="#1d1d1d", menu_bg="#ffffff", scroll=tint_dark,
        indicator_border=accent_dark, arrow="arrow-dark",
        radius=radius, small_radius=max(radius - 2, 0))
    p.update(extra)
    return p


def dark(title, accent, base, raised, line, text="#e8e8e8", radius=3, **extra):
    """A dark skin: dark panels, light text, bright accent."""
    p = dict(
        title=title, text=text, win_top=raised, win_bottom=base,
        bar_top=raised, bar_bottom=base, bar_text=text, frame=line,
        hover_top=line, hover_bottom=raised, hover_text="#ffffff",
        accent=accent, accent_text="#ffffff", disabled="#7a7a7a",
        button_text=text, button_top=line, button_bottom=raised, button_border=line,
        group_bg="rgba(255, 255, 255, 12)", title_color=accent, input_text=text,
        input_bg=base, input_border=line, readonly_bg=raised, view_bg=base, view_alt=raised,
        grid=line, header_text=text, header_top=line, header_bottom=raised,
        progress_text="#ffffff", progress_bg=raised, chunk_top=accent, chunk_bottom=accent,
        menu_text=text, menu_bg=raised, scroll=line,
        indicator_border=accent, arrow="arrow-light",
        radius=radius, small_radius=max(radius - 2, 0))
    p.update(extra)
    return p


BUILT_IN = {
    "MacOS": light("Mac", "#3b82f6", "#9aa3ad", "#eeeeef", "#d6d7da", radius=6,
                   title_color="#3a3a3c", chunk_top="#7fb2ff", chunk_bottom="#2f6fe0"),
    "WinXP": light("WinXP", "#316ac5", "#7a96c8", "#ece9d8", "#d4d0c0", radius=3,
                   bar_top="#f6f5ee", title_color="#0046d5", chunk_top="#8ee07a", chunk_bottom="#2fa52a",
                   progress_text="#000000"),
    "DeepBlue": dark("DeepBlue", "#2f7de1", "#0f1e33", "#17304f", "#2b4d78",
                     chunk_top="#59a4ff", chunk_bottom="#1f63c4"),
    "Protein": light("Protein", "#8a5bd1", "#a894c8", "#f1edf7", "#dcd3ea", radius=8,
                     title_color="#5b3596", chunk_top="#c3a6f2", chunk_bottom="#7a47c8"),
    "BlueGlass": light("BlueGlass", "#1e88e5", "#6fa8dc", "#e3f1fd", "#b9dcf7", radius=7,
                       bar_top="#f4faff", button_top="#f4faff", button_bottom="#a9d3f5",
                       title_color="#0d5aa7", chunk_top="#9fd2ff", chunk_bottom="#1565c0",
                       group_bg="rgba(255, 255, 255, 110)"),
}

THEMES = {
    "msn": light("MSN", "#2b7bd6", "#8fb4de", "#eaf3fc", "#cfe2f6", radius=5,
                 title_color="#1f5fa8", chunk_top="#9ad07a", chunk_bottom="#3c9a2e"),
    "winter": light("冬天的色彩", "#4f8fb8", "#9fbcd0", "#f3f8fb", "#dbe8f0", radius=6,
                    title_color="#35708f", chunk_top="#cfe8f7", chunk_bottom="#4f8fb8",
                    progress_text="#0c2a3b"),
    "mp10": dark("WMP10", "#3d8fe0", "#0c1117", "#1b2430", "#34465c", radius=5,
                 chunk_top="#6bb2ff", chunk_bottom="#2468b8"),
    "RealOne": dark("RealOne", "#2d6db5", "#1c1f26", "#2a2f3a", "#474f60", radius=3,
                    text="#f0f0f0", title_color="#7fb0ea", chunk_top="#5d97d8", chunk_bottom="#235a96"),
    "Longhorn": light("Vista", "#3a7bd5", "#8ea7c3", "#eef3f8", "#d2dde9", radius=4,
                      bar_top="#f9fbfd", bar_bottom="#c8d7e8", title_color="#1e4e8c",
                      chunk_top="#8ef08e", chunk_bottom="#19a31b", progress_text="#0a2a0a"),
    "DeepGreen": dark("深绿色", "#2e9e5b", "#0d2218", "#153424", "#24553b",
                      title_color="#5fd38f", chunk_top="#5fd38f", chunk_bottom="#1f7d45"),
    "DeepOrange": light("桔红色", "#e8621c", "#d39a78", "#fff3ea", "#f6d6c1", radius=4,
                        title_color="#b64a10", chunk_top="#ffb07a", chunk_bottom="#e0560f",
                        progress_text="#3a1400"),
    "GreenGlass": light("绿色玻璃", "#2f9e62", "#86c2a0", "#eafaf1", "#c4ebd5", radius=7,
                        title_color="#1d7445", chunk_top="#a6ecc4", chunk_bottom="#25935a",
                        group_bg="rgba(255, 255, 255, 110)"),
    "OneBlue": light("时尚蓝色", "#1565c0", "#5c8fcf", "#e8f0fb", "#c3d6f0", radius=2,
                     bar_top="#1e73d2", bar_bottom="#1157a8", bar_text="#ffffff",
                     hover_text="#0b2e59", title_color="#0f4c94",
                     chunk_top="#64a6f0", chunk_bottom="#1565c0"),
    "OneCyan": light("时尚Cyan", "#00a3b4", "#6cc3cc", "#e6f8fa", "#bfeaee", radius=5,
                     title_color="#00717d", chunk_top="#8fe6ee", chunk_bottom="#00909f",
                     progress_text="#00262a"),
    "SportsBlack": dark("运动黑色", "#e53935", "#101010", "#1e1e1e", "#3a3a3a", radius=2,
                        title_color="#ff6b66", chunk_top="#ff6b66", chunk_bottom="#c62828"),
    "xpgreen": light("XP绿色", "#5a8f29", "#a3b88a", "#eef3e4", "#d7e2c6", radius=3,
                     title_color="#476f1f", chunk_top="#b8dc8a", chunk_bottom="#4d8a1c"),
    "royale": light("Royale", "#335ea8", "#8c9cb8", "#f0f1f5", "#d8dce6", radius=4,
                    bar_top="#fdfdfe", bar_bottom="#cfd6e4", title_color="#24477f",
                    chunk_top="#9ed98c", chunk_bottom="#36a321", progress_text="#0d2a06"),
}


def write_png(path, width, height, coverage, rgb):
    """A picture of one colour whose alpha is coverage(x, y) in 0..1."""
    rows = b""
    for y in range(height):
        row = bytearray([0])
        for x in range(width):
            row += bytes(rgb) + bytes([round(255 * coverage(x, y))])
        rows += bytes(row)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    path.write_bytes(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                     chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def supersampled(inside, scale, samples=4):
    """Coverage of a shape given in 1x units, drawn at scale (pixels per unit)."""
    def coverage(x, y):
        hits = 0
        for i in range(samples):
            for j in range(samples):
                hits += inside((x + (i + 0.5) / samples) / scale, (y + (j + 0.5) / samples) / scale)
        return hits / samples ** 2
    return coverage


def down_arrow(x, y):  # 8 x 5
    return y <= 5 and abs(x - 4) <= 4 * (1 - y / 5)


def check_mark(x, y):  # 13 x 13, a stroke of width 2 through three points
    def near(ax, ay, bx, by):
        dx, dy = bx - ax, by - ay
        t = max(0, min(1, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        return (x - ax - t * dx) ** 2 + (y - ay - t * dy) ** 2 <= 1.1 ** 2
    return near(3, 6.5, 5.5, 9.5) or near(5.5, 9.5, 10, 3.5)


def write_images():
    """The pictures the style sheets use (compiled into the program): the
    combo boxes' arrows for light and dark skins, the check box's mark."""
    images = ROOT / "skins" / "images"
    images.mkdir(exist_ok=True)
    write_png(images / "arrow-dark.png", 16, 10, supersampled(down_arrow, 2), (0x33, 0x33, 0x33))
    write_png(images / "arrow-light.png", 16, 10, supersampled(down_arrow, 2), (0xee, 0xee, 0xee))
    write_png(images / "check.png", 26, 26, supersampled(check_mark, 2), (0xff, 0xff, 0xff))


def main():
    write_images()
    for name, palette in BUILT_IN.items():
        (ROOT / "skins" / "builtin" / f"{name}.qss").write_text(TEMPLATE.format(**palette), encoding="utf-8")
    for name, palette in THEMES.items():
        (ROOT / "skins" / f"{name}.sui").write_text(TEMPLATE.format(**palette), encoding="utf-8")


if __name__ == "__main__":
    main()
