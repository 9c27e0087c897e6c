#include "error_descriptions.h"

#include <cerrno>
#include <filesystem>

namespace lv::desktop {
namespace {

const char *verb(FileOperation operation) {
    switch (operation) {
    case FileOperation::move: return "mover";
    case FileOperation::copy: return "copiar";
    case FileOperation::save: return "salvar";
    case FileOperation::remove: return "remover";
    }
    return "usar";
}

std::string quoted(const std::string &name) { return "“" + name + "”"; }

}  // namespace

std::string file_error_description(FileOperation operation, int error, const std::string &item,
                                   const std::string &folder) {
    const std::string start = std::string("Não foi possível ") + verb(operation) + " " + quoted(item);
    switch (error) {
    case EEXIST:
    case ENOTEMPTY:
        return start + " porque já existe um item com o mesmo nome em " + quoted(folder) + ".";
    case ENOENT:
        if (folder.empty()) return start + " porque o item não existe.";
        return start + " porque a pasta " + quoted(folder) + " não existe.";
    case ENOTDIR:
        return start + " porque " + quoted(folder) + " não é uma pasta.";
    case EACCES:
    case EPERM:
        return start + " porque você não tem permissão para acessar " + quoted(folder.empty() ? item : folder) + ".";
    case EROFS:
        return start + " porque o volume de " + quoted(folder.empty() ? item : folder) + " é somente leitura.";
    case ENOSPC:
    case EDQUOT:
        return start + " porque não há espaço suficiente em " + quoted(folder.empty() ? item : folder) + ".";
    case EXDEV:
        return start + " para " + quoted(folder) + " porque os dois estão em volumes diferentes.";
    case EBUSY:
    case ETXTBSY:
        return start + " porque o item está em uso.";
    case ENAMETOOLONG:
        return start + " porque o nome é longo demais.";
    case EINVAL:
        return start + " para dentro de si mesmo.";
    default:
        return "";
    }
}

std::string display_name(const std::string &path) {
    std::filesystem::path p(path);
    while (p.has_relative_path() && p.filename().empty()) p = p.parent_path();  // trailing "/"
    if (!p.has_relative_path()) return p.empty() ? path : p.root_path().string();
    return p.filename().string();
}

std::string parent_display_name(const std::string &path) {
    std::filesystem::path p(path);
    while (p.has_relative_path() && p.filename().empty()) p = p.parent_path();
    std::filesystem::path parent = p.parent_path();
    if (parent.empty()) {
        std::error_code ignored;
        parent = std::filesystem::current_path(ignored);
    }
    return display_name(parent.string());
}

}  // namespace lv::desktop
