#include "Platform/ScriptedToolRunner.hpp"

namespace ostrel {

void ScriptedToolRunner::answer(const std::string& path, std::optional<std::string> output) {
    answer(path, [output = std::move(output)](const std::vector<std::string>&) { return output; });
}

void ScriptedToolRunner::answer(const std::string& path, Answer answer) {
    std::lock_guard lock(mutex_);
    answers_[path] = std::move(answer);
}

std::optional<std::string> ScriptedToolRunner::runCommand(const std::string& path,
                                                          const std::vector<std::string>& arguments) {
    Answer answer;
    {
        std::lock_guard lock(mutex_);
        calls_.push_back({path, arguments});
        const auto found = answers_.find(path);
        if (found == answers_.end()) {
            return std::nullopt;
        }
        answer = found->second;
    }
    return answer(arguments);
}

std::vector<ScriptedToolRunner::Call> ScriptedToolRunner::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

}  // namespace ostrel
