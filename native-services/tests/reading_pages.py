"""A ground-truth set of small pages rendered with ImageMagick, each with the lines a reader
sees in reading order, and the measures taken on it: lines exactly right, character error rate,
order. The reading-order test and the recogniser benchmark share it."""
import os
import subprocess

FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
SERIF = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf"


def _run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def _render(path, size, texts, extra=()):
    """`texts`: (x, baseline y, point size, text[, font]) on white."""
    command = ["convert", "-size", f"{size[0]}x{size[1]}", "xc:white", "-fill", "black"]
    for x, y, points, text, *font in texts:
        command += ["-font", font[0] if font else FONT, "-pointsize", str(points), "-annotate", f"+{x}+{y}", text]
    _run(*command, *extra, path)
    return path


def _columns(columns, x_positions, width, points=22, spacing=38, top=50, stagger=0):
    """Columns of lines side by side; column c starts `stagger` * c pixels lower."""
    texts = []
    for c, (lines, x) in enumerate(zip(columns, x_positions)):
        texts += [(x, top + points + stagger * c + i * spacing, points, line) for i, line in enumerate(lines)]
    height = top + points + stagger * len(columns) + spacing * max(len(lines) for lines in columns) + 30
    return texts, (width, height)


def pages(folder):
    """{name: (path, expected lines in reading order)}, rendered into `folder`."""
    made = {}

    def add(name, lines, texts, size, extra=()):
        made[name] = (_render(os.path.join(folder, f"{name}.png"), size, texts, extra), lines)

    one = ["O relatório mensal chegou ontem à tarde.", "Todos os números foram conferidos.",
           "A reunião ficou marcada para sexta-feira.", "Leve o caderno e a caneta azul."]
    add("one_column", one, [(50, 70 + i * 40, 22, line) for i, line in enumerate(one)], (760, 250))

    # One line per label and tail: the recogniser's layout analysis splits them apart.
    labels = [f"Linha {n}: a ação do coração bate forte" for n in range(1, 26)]
    add("label_tails", labels, [(40, 52 + i * 34, 20, line) for i, line in enumerate(labels)], (560, 900))

    # The letters "l" line up from row to row and look like a ruled line.
    aligned = [f"esquerda linha {n} alfa" for n in range(1, 9)]
    add("aligned_letters", aligned, [(40, 60 + i * 44, 26, line) for i, line in enumerate(aligned)], (500, 420))

    left = ["Coluna da esquerda começa", "aqui e segue em frente", "até o fim do texto."]
    right = ["A direita fala de outra", "coisa bem diferente", "e termina também."]
    # 100 pixels between the columns.
    texts, size = _columns([left, right], [40, 480], 820)
    add("two_columns", left + right, texts, size)

    # Columns whose rows do not share a baseline.
    first = ["Primeira coluna", "com três linhas", "de texto curto."]
    second = ["Segunda coluna", "desce um pouco", "mais que as outras."]
    third = ["Terceira coluna", "fecha a página", "com calma."]
    texts, size = _columns([first, second, third], [30, 330, 630], 880, points=20, stagger=14)
    add("three_columns", first + second + third, texts, size)

    form = [("Nome:", "Maria da Conceição"), ("CPF:", "123.456.789-09"), ("Cidade:", "São Paulo"),
            ("Telefone:", "(11) 98765-4321")]
    texts = []
    for i, (label, value) in enumerate(form):
        texts += [(40, 60 + i * 44, 22, label), (175, 60 + i * 44, 22, value)]
    add("form", [f"{label} {value}" for label, value in form], texts, (720, 260))

    mixed = [("Título Principal", 44), ("Um subtítulo de apoio", 28), ("Texto comum do corpo da página.", 18),
             ("Nota de rodapé pequena.", 14)]
    texts, y = [], 30
    for line, points in mixed:
        y += int(points * 1.6)
        texts.append((40, y, points, line))
    add("mixed_sizes", [line for line, _ in mixed], texts, (700, y + 40))

    scan = ["Este documento foi digitalizado", "com uma leve inclinação de dois", "graus no sentido horário."]
    add("rotated_scan", scan, [(50, 70 + i * 46, 24, line, SERIF) for i, line in enumerate(scan)], (760, 240),
        ["-background", "white", "-rotate", "2", "+repage"])

    accents = ["Ação, coração e emoção à mão.", "Pão, feijão, açúcar e maçã.", "Você já viu o pôr do sol?",
               "Índio, órgão e ônibus às três."]
    add("accents", accents, [(40, 60 + i * 42, 24, line) for i, line in enumerate(accents)], (680, 230))

    tight = ["Recorte justo ao texto", "sem margem nenhuma"]
    add("tight_crop", tight, [(40, 70 + i * 44, 26, line) for i, line in enumerate(tight)], (700, 200),
        ["-trim", "+repage"])
    return made


def edit_distance(a, b):
    previous = list(range(len(b) + 1))
    for i, ca in enumerate(a, 1):
        current = [i]
        for j, cb in enumerate(b, 1):
            current.append(min(previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (ca != cb)))
        previous = current
    return previous[-1]


def measure(expected, found):
    """(lines exactly right, character error rate of the page's text in reading order, expected
    lines found in order). A line is exact when it appears among the found lines; the error rate
    compares the lines joined by newlines."""
    exact = sum(1 for line in expected if line in found)
    truth, text = "\n".join(expected), "\n".join(found)
    cer = edit_distance(truth, text) / max(len(truth), 1)
    positions = [found.index(line) for line in expected if line in found]
    in_order = positions == sorted(positions)
    return exact, cer, in_order


def tesseract_cli_lines(path):
    """The lines of the `tesseract` command's plain-text output on the same models."""
    output = subprocess.run(["tesseract", path, "-", "-l", "por+eng+spa", "--oem", "1", "--psm", "3"],
                            check=True, capture_output=True, text=True,
                            env=dict(os.environ, OMP_THREAD_LIMIT="1")).stdout
    return [line.strip() for line in output.splitlines() if line.strip()]
