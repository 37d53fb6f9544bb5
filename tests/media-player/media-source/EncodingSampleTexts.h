#pragma once

#include <iconv.h>

#include <optional>
#include <string>
#include <string_view>

// Subtitle scripts in several languages, in UTF-8, for encoding detection: each long enough, and
// rich enough in the language's own letters, for a statistical detector to recognise.
namespace quillon::test::samples {

inline constexpr std::string_view czech = R"(1
00:00:01,000 --> 00:00:04,000
Dobrý večer, vítejte na palubě naší lodi.

2
00:00:04,500 --> 00:00:08,000
Kapitán říká, že moře bude dnes večer klidné.

3
00:00:08,500 --> 00:00:12,000
Ještě než vyplujeme, zkontrolujte prosím své kajuty.

4
00:00:12,500 --> 00:00:16,000
Čeká nás dlouhá cesta přes severní ostrovy.

5
00:00:16,500 --> 00:00:20,000
Žádný strach, posádka je zkušená a připravená.

6
00:00:20,500 --> 00:00:24,000
Večeře se podává v jídelně ve druhém patře.

7
00:00:24,500 --> 00:00:28,000
Děkujeme, že jste si vybrali právě naši společnost.

8
00:00:28,500 --> 00:00:32,000
Přejeme vám příjemnou plavbu a šťastný návrat domů.
)";

inline constexpr std::string_view russian = R"(1
00:00:01,000 --> 00:00:04,000
Добрый вечер, дорогие друзья и соседи.

2
00:00:04,500 --> 00:00:08,000
Сегодня мы расскажем вам о старом маяке на берегу.

3
00:00:08,500 --> 00:00:12,000
Никто не знает, кто зажёг его огонь в первый раз.

4
00:00:12,500 --> 00:00:16,000
Говорят, что смотритель жил там один почти сорок лет.

5
00:00:16,500 --> 00:00:20,000
Каждую ночь он поднимался по лестнице и следил за морем.

6
00:00:20,500 --> 00:00:24,000
Однажды зимой к берегу подошёл корабль без экипажа.

7
00:00:24,500 --> 00:00:28,000
С тех пор жители деревни обходят маяк стороной.

8
00:00:28,500 --> 00:00:32,000
Но мы решили узнать правду и отправились туда сами.
)";

inline constexpr std::string_view french = R"(1
00:00:01,000 --> 00:00:04,000
Bonsoir à tous, et bienvenue à la fête du village.

2
00:00:04,500 --> 00:00:08,000
Cette année, les élèves ont préparé un spectacle étonnant.

3
00:00:08,500 --> 00:00:12,000
Où est passé le garçon qui jouait de la flûte l'été dernier ?

4
00:00:12,500 --> 00:00:16,000
Il a déménagé à Besançon avec sa sœur aînée, je crois.

5
00:00:16,500 --> 00:00:20,000
Quel dommage ! Sa mélodie était très appréciée des enfants.

6
00:00:20,500 --> 00:00:24,000
Ne vous inquiétez pas, la chorale chantera à sa place.

7
00:00:24,500 --> 00:00:28,000
Après le dîner, nous irons voir le feu d'artifice près du lac.

8
00:00:28,500 --> 00:00:32,000
N'oubliez pas vos manteaux : la soirée sera fraîche.
)";

inline constexpr std::string_view japanese = R"(1
00:00:01,000 --> 00:00:04,000
こんばんは、今日はとても寒いですね。

2
00:00:04,500 --> 00:00:08,000
駅の前で友達と待ち合わせをしていました。

3
00:00:08,500 --> 00:00:12,000
電車が遅れていたので、少し心配になりました。

4
00:00:12,500 --> 00:00:16,000
でも、彼女は笑顔で手を振ってくれました。

5
00:00:16,500 --> 00:00:20,000
私たちは近くの喫茶店に入って、温かいお茶を飲みました。

6
00:00:20,500 --> 00:00:24,000
窓の外では雪が静かに降り始めていました。

7
00:00:24,500 --> 00:00:28,000
明日は山の上の小さな村へ行く予定です。

8
00:00:28,500 --> 00:00:32,000
カメラを忘れないように、もう一度確認しましょう。
)";

inline constexpr std::string_view simplifiedChinese = R"(1
00:00:01,000 --> 00:00:04,000
大家晚上好，欢迎来到我们的小城市。

2
00:00:04,500 --> 00:00:08,000
今天我们要去看一看河边的老图书馆。

3
00:00:08,500 --> 00:00:12,000
这座图书馆已经有一百多年的历史了。

4
00:00:12,500 --> 00:00:16,000
很多学生每天都会来这里读书和学习。

5
00:00:16,500 --> 00:00:20,000
馆长告诉我们，最珍贵的书放在三楼。

6
00:00:20,500 --> 00:00:24,000
我们还参观了后面的花园和一个安静的茶馆。

7
00:00:24,500 --> 00:00:28,000
天气越来越冷了，请大家注意身体。

8
00:00:28,500 --> 00:00:32,000
明天早上八点，我们在车站门口见面。
)";

inline constexpr std::string_view traditionalChinese = R"(1
00:00:01,000 --> 00:00:04,000
各位晚安，歡迎來到我們的小鎮。

2
00:00:04,500 --> 00:00:08,000
今天我們要去參觀河邊的舊圖書館。

3
00:00:08,500 --> 00:00:12,000
這座圖書館已經有一百多年的歷史了。

4
00:00:12,500 --> 00:00:16,000
許多學生每天都會來這裡讀書和學習。

5
00:00:16,500 --> 00:00:20,000
館長告訴我們，最珍貴的書放在三樓。

6
00:00:20,500 --> 00:00:24,000
我們還參觀了後面的花園和一間安靜的茶館。

7
00:00:24,500 --> 00:00:28,000
天氣越來越冷了，請大家注意身體。

8
00:00:28,500 --> 00:00:32,000
明天早上八點，我們在車站門口見面。
)";

inline constexpr std::string_view korean = R"(1
00:00:01,000 --> 00:00:04,000
안녕하세요, 오늘 날씨가 정말 좋네요.

2
00:00:04,500 --> 00:00:08,000
우리는 아침 일찍 바닷가로 산책을 나갔습니다.

3
00:00:08,500 --> 00:00:12,000
작은 배들이 항구에 조용히 떠 있었어요.

4
00:00:12,500 --> 00:00:16,000
할머니께서 시장에서 생선을 사 오셨습니다.

5
00:00:16,500 --> 00:00:20,000
점심에는 가족들과 함께 맛있는 국수를 먹었어요.

6
00:00:20,500 --> 00:00:24,000
오후에는 도서관에 가서 책을 몇 권 빌렸습니다.

7
00:00:24,500 --> 00:00:28,000
저녁이 되자 하늘이 붉게 물들기 시작했어요.

8
00:00:28,500 --> 00:00:32,000
내일도 좋은 하루가 되기를 바랍니다.
)";

}  // namespace quillon::test::samples

namespace quillon::test {

// The text converted between two encodings with iconv(3); none when iconv refuses it.
inline std::optional<std::string> convertWithIconv(std::string_view text, const std::string& from,
                                                   const std::string& to) {
    iconv_t converter = ::iconv_open(to.c_str(), from.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    std::string output(text.size() * 4 + 16, '\0');
    char* input = const_cast<char*>(text.data());
    std::size_t inputLeft = text.size();
    char* outputPosition = output.data();
    std::size_t outputLeft = output.size();
    const std::size_t result = ::iconv(converter, &input, &inputLeft, &outputPosition, &outputLeft);
    ::iconv_close(converter);
    if (result == static_cast<std::size_t>(-1) || inputLeft != 0) {
        return std::nullopt;
    }
    output.resize(output.size() - outputLeft);
    return output;
}

}  // namespace quillon::test
