// The standard windows, with GTK 4: one window at a time, replaced as the update moves on.
#include "user_driver.h"

#include "application.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <optional>

namespace lv::updates {
namespace {

bool ensure_gtk() {
    static const bool ready = gtk_init_check();
    return ready;
}

GtkWidget *label(const std::string &text, bool heading = false) {
    GtkWidget *widget = gtk_label_new(nullptr);
    if (heading) {
        char *markup = g_markup_printf_escaped("<b><big>%s</big></b>", text.c_str());
        gtk_label_set_markup(GTK_LABEL(widget), markup);
        g_free(markup);
    } else {
        gtk_label_set_text(GTK_LABEL(widget), text.c_str());
    }
    gtk_label_set_wrap(GTK_LABEL(widget), TRUE);
    gtk_label_set_xalign(GTK_LABEL(widget), 0);
    return widget;
}

class GtkUserDriver final : public UserDriver {
public:
    ~GtkUserDriver() override { dismiss(); }

    void show_checking() override {
        GtkWidget *box = begin("Procurando atualizações", "Procurando atualizações…");
        progress_ = gtk_progress_bar_new();
        gtk_progress_bar_pulse(GTK_PROGRESS_BAR(progress_));
        gtk_box_append(GTK_BOX(box), progress_);
        finish(box, {});
    }

    void show_update_found(const UpdateOffer &offer, std::function<void(UpdateChoice)> reply) override {
        if (!ensure_gtk()) {
            std::fprintf(stderr, "Lumivane: %s %s está disponível.\n", offer.application_name.c_str(),
                         offer.new_version.c_str());
            return reply(UpdateChoice::later);
        }
        GtkWidget *box = begin("Atualização disponível", "Há uma nova versão de " + offer.application_name + "!");
        reply_ = std::move(reply);
        gtk_box_append(GTK_BOX(box), label(offer.application_name + " " + offer.new_version +
                                           " está disponível — você tem a versão " + offer.running_version +
                                           ". Deseja instalá-la agora?"));
        std::string notes = offer.notes;
        if (notes.empty() && !offer.notes_link.empty()) notes = "Notas da versão: " + offer.notes_link;
        if (!notes.empty()) {
            gtk_box_append(GTK_BOX(box), label("Notas da versão:", false));
            GtkWidget *view = gtk_text_view_new();
            gtk_text_view_set_editable(GTK_TEXT_VIEW(view), FALSE);
            gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view), GTK_WRAP_WORD);
            gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(view)), notes.c_str(), -1);
            GtkWidget *scroller = gtk_scrolled_window_new();
            gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scroller), view);
            gtk_widget_set_size_request(scroller, -1, 160);
            gtk_box_append(GTK_BOX(box), scroller);
        }
        finish(box, {{"Pular esta versão", UpdateChoice::skip},
                     {"Lembrar mais tarde", UpdateChoice::later},
                     {"Instalar atualização", UpdateChoice::install}});
    }

    void show_up_to_date(const std::string &running_version) override {
        GtkWidget *box = begin("Nenhuma atualização", "Você está atualizado!");
        gtk_box_append(GTK_BOX(box), label("A versão " + running_version + " é a mais recente disponível."));
        finish(box, {{"OK", std::nullopt}});
    }

    void show_download_progress(uint64_t received, uint64_t expected) override {
        if (!progress_ || mode_ != "download") {
            GtkWidget *box = begin("Baixando atualização", "Baixando atualização…");
            progress_ = gtk_progress_bar_new();
            gtk_progress_bar_set_show_text(GTK_PROGRESS_BAR(progress_), TRUE);
            gtk_box_append(GTK_BOX(box), progress_);
            finish(box, {});
            mode_ = "download";
        }
        if (!progress_) return;
        char text[96];
        std::snprintf(text, sizeof text, "%.1f de %.1f MB", received / 1e6, expected / 1e6);
        gtk_progress_bar_set_text(GTK_PROGRESS_BAR(progress_), text);
        if (expected > 0) gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(progress_), double(received) / double(expected));
    }

    void show_installing() override {
        GtkWidget *box = begin("Instalando atualização", "Instalando atualização…");
        progress_ = gtk_progress_bar_new();
        gtk_progress_bar_pulse(GTK_PROGRESS_BAR(progress_));
        gtk_box_append(GTK_BOX(box), progress_);
        finish(box, {});
    }

    void show_ready_to_restart(std::function<void()> restart) override {
        if (!ensure_gtk()) return restart();
        restart_ = std::move(restart);
        GtkWidget *box = begin("Atualização pronta", "A atualização está pronta para ser instalada");
        gtk_box_append(GTK_BOX(box), label("O aplicativo será reiniciado para concluir a atualização."));
        finish(box, {{"Reiniciar agora", UpdateChoice::install}});
    }

    void show_restart_postponed() override {
        GtkWidget *box = begin("Atualização pronta", "A atualização será concluída em breve");
        gtk_box_append(GTK_BOX(box), label("O aplicativo será reiniciado assim que terminar o trabalho em andamento."));
        finish(box, {{"OK", std::nullopt}});
    }

    void show_error(const std::string &message) override {
        if (!ensure_gtk()) {
            std::fprintf(stderr, "Lumivane: %s\n", message.c_str());
            return;
        }
        GtkWidget *box = begin("Falha na atualização", "Falha na atualização");
        gtk_box_append(GTK_BOX(box), label(message));
        finish(box, {{"OK", std::nullopt}});
    }

    void dismiss() override {
        if (window_) {
            GtkWidget *window = window_;
            window_ = nullptr;
            progress_ = nullptr;
            gtk_window_destroy(GTK_WINDOW(window));
        }
        mode_.clear();
        answer(UpdateChoice::later);
    }

private:
    struct Button {
        const char *text;
        std::optional<UpdateChoice> choice;
    };

    // A new window with a heading; the caller adds to the returned box.
    GtkWidget *begin(const char *title, const std::string &heading) {
        dismiss();
        if (!ensure_gtk()) return nullptr;
        window_ = gtk_window_new();
        gtk_window_set_title(GTK_WINDOW(window_), title);
        gtk_window_set_default_size(GTK_WINDOW(window_), 480, -1);
        g_signal_connect(window_, "close-request", G_CALLBACK(+[](GtkWindow *, gpointer self) -> gboolean {
                             static_cast<GtkUserDriver *>(self)->dismiss();
                             return TRUE;
                         }), this);
        GtkWidget *box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
        gtk_widget_set_margin_start(box, 20);
        gtk_widget_set_margin_end(box, 20);
        gtk_widget_set_margin_top(box, 20);
        gtk_widget_set_margin_bottom(box, 20);
        gtk_box_append(GTK_BOX(box), label(heading, true));
        return box;
    }

    void finish(GtkWidget *box, std::initializer_list<Button> buttons) {
        if (!box) return;
        if (buttons.size()) {
            GtkWidget *row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
            gtk_widget_set_halign(row, GTK_ALIGN_END);
            for (const Button &button : buttons) {
                GtkWidget *widget = gtk_button_new_with_label(button.text);
                int code = button.choice ? static_cast<int>(*button.choice) : -1;
                g_object_set_data(G_OBJECT(widget), "choice", GINT_TO_POINTER(code + 1));
                g_signal_connect(widget, "clicked", G_CALLBACK(+[](GtkButton *pressed, gpointer self) {
                                     int code = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(pressed), "choice")) - 1;
                                     static_cast<GtkUserDriver *>(self)->pressed(code);
                                 }), this);
                gtk_box_append(GTK_BOX(row), widget);
            }
            gtk_box_append(GTK_BOX(box), row);
        }
        gtk_window_set_child(GTK_WINDOW(window_), box);
        gtk_window_present(GTK_WINDOW(window_));
    }

    void pressed(int code) {
        std::function<void()> restart = std::move(restart_);
        restart_ = nullptr;
        if (code >= 0 && reply_) return answer(static_cast<UpdateChoice>(code));
        if (code >= 0 && restart) {
            dismiss();
            return restart();
        }
        dismiss();
    }

    // Hands the user's answer over once; closing the window counts as "later".
    void answer(UpdateChoice choice) {
        if (!reply_) return;
        std::function<void(UpdateChoice)> reply = std::move(reply_);
        reply_ = nullptr;
        if (window_) {
            GtkWidget *window = window_;
            window_ = nullptr;
            progress_ = nullptr;
            gtk_window_destroy(GTK_WINDOW(window));
        }
        reply(choice);
    }

    GtkWidget *window_ = nullptr;
    GtkWidget *progress_ = nullptr;
    std::string mode_;
    std::function<void(UpdateChoice)> reply_;
    std::function<void()> restart_;
};

}  // namespace

std::unique_ptr<UserDriver> make_gtk_user_driver() { return std::make_unique<GtkUserDriver>(); }

void activate_application() {
    if (GtkApplication *gtk = GTK_IS_APPLICATION(lv::desktop::application())
                                  ? GTK_APPLICATION(lv::desktop::application())
                                  : nullptr)
        if (GtkWindow *window = gtk_application_get_active_window(gtk)) gtk_window_present(window);
}

}  // namespace lv::updates
