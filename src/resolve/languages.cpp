#include "resolve/resolve.h"

// ISO 639-2 languages: bibliographic code, then the two-letter code or, in a
// language's second row, its terminology code, and the language's name. The
// lookups rely on the order and on every alternate code being unique.
// clang-format off
constexpr std::array<tvk_language_row, 470> tvk_languages = {{
    // a
    {"aar", "aa"}, // Afar
    {"abk", "ab"}, // Abkhazian
    {"ace", ""}, // Achinese
    {"ach", ""}, // Acoli
    {"ada", ""}, // Adangme
    {"afa", ""}, // Afro-Asiatic languages
    {"afh", ""}, // Afrihili
    {"afr", "af"}, // Afrikaans
    {"aka", "ak"}, // Akan
    {"akk", ""}, // Akkadian
    {"alb", "sq"}, // Albanian
    {"alb", "sqi"}, // Albanian
    {"ale", ""}, // Aleut
    {"alg", ""}, // Algonquian languages
    {"amh", "am"}, // Amharic
    {"ang", ""}, // English, Old (ca. 450-1100)
    {"apa", ""}, // Apache languages
    {"ara", "ar"}, // Arabic
    {"arc", ""}, // Official Aramaic (700-300 BCE); Imperial Aramaic (700-300 BCE)
    {"arm", "hy"}, // Armenian
    {"arm", "hye"}, // Armenian
    {"arn", ""}, // Mapudungun; Mapuche
    {"arp", ""}, // Arapaho
    {"art", ""}, // Artificial languages
    {"arw", ""}, // Arawak
    {"asm", "as"}, // Assamese
    {"ast", ""}, // Asturian; Bable; Leonese; Asturleonese
    {"ath", ""}, // Athapascan languages
    {"aus", ""}, // Australian languages
    {"ava", "av"}, // Avaric
    {"ave", "ae"}, // Avestan
    {"awa", ""}, // Awadhi
    {"aym", "ay"}, // Aymara
    {"aze", "az"}, // Azerbaijani
    // b
    {"bad", ""}, // Banda languages
    {"bai", ""}, // Bamileke languages
    {"bak", "ba"}, // Bashkir
    {"bal", ""}, // Baluchi
    {"bam", "bm"}, // Bambara
    {"ban", ""}, // Balinese
    {"baq", "eu"}, // Basque
    {"baq", "eus"}, // Basque
    {"bas", ""}, // Basa
    {"bat", ""}, // Baltic languages
    {"bej", ""}, // Beja; Bedawiyet
    {"bel", "be"}, // Belarusian
    {"bem", ""}, // Bemba
    {"ben", "bn"}, // Bengali
    {"ber", ""}, // Berber languages
    {"bho", ""}, // Bhojpuri
    {"bih", "bh"}, // Bihari languages
    {"bik", ""}, // Bikol
    {"bin", ""}, // Bini; Edo
    {"bis", "bi"}, // Bislama
    {"bla", ""}, // Siksika
    {"bnt", ""}, // Bantu (Other)
    {"bos", "bs"}, // Bosnian
    {"bra", ""}, // Braj
    {"bre", "br"}, // Breton
    {"btk", ""}, // Batak languages
    {"bua", ""}, // Buriat
    {"bug", ""}, // Buginese
    {"bul", "bg"}, // Bulgarian
    {"bur", "my"}, // Burmese
    {"bur", "mya"}, // Burmese
    // c
    {"cad", ""}, // Caddo
    {"cai", ""}, // Central American Indian languages
    {"car", ""}, // Galibi Carib
    {"cat", "ca"}, // Catalan; Valencian
    {"cau", ""}, // Caucasian languages
    {"ceb", ""}, // Cebuano
    {"cel", ""}, // Celtic languages
    {"cha", "ch"}, // Chamorro
    {"chb", ""}, // Chibcha
    {"che", "ce"}, // Chechen
    {"chg", ""}, // Chagatai
    {"chi", "zh"}, // Chinese
    {"chi", "zho"}, // Chinese
    {"chk", ""}, // Chuukese
    {"chm", ""}, // Mari
    {"chn", ""}, // Chinook jargon
    {"cho", ""}, // Choctaw
    {"chp", ""}, // Chipewyan; Dene Suline
    {"chr", ""}, // Cherokee
    {"chu", "cu"}, // Old Bulgarian/Church Slavic/Slavonic
    {"chv", "cv"}, // Chuvash
    {"chy", ""}, // Cheyenne
    {"cmc", ""}, // Chamic languages
    {"cop", ""}, // Coptic
    {"cor", "kw"}, // Cornish
    {"cos", "co"}, // Corsican
    {"cpe", ""}, // Creoles and pidgins, English based
    {"cpf", ""}, // Creoles and pidgins, French-based
    {"cpp", ""}, // Creoles and pidgins, Portuguese-based
    {"cre", "cr"}, // Cree
    {"crp", ""}, // Creoles and pidgins
    {"cus", ""}, // Cushitic languages
    {"cze", "cs"}, // Czech
    {"cze", "ces"}, // Czech
    // d
    {"dak", ""}, // Dakota
    {"dan", "da"}, // Danish
    {"day", ""}, // Land Dayak languages
    {"del", ""}, // Delaware
    {"den", ""}, // Slave (Athapascan)
    {"dgr", ""}, // Dogrib
    {"din", ""}, // Dinka
    {"div", "dv"}, // Divehi; Dhivehi; Maldivian
    {"doi", ""}, // Dogri
    {"dra", ""}, // Dravidian languages
    {"dua", ""}, // Duala
    {"dum", ""}, // Dutch, Middle (ca. 1050-1350)
    {"dut", "nl"}, // Dutch; Flemish
    {"dut", "nld"}, // Dutch; Flemish
    {"dyu", ""}, // Dyula
    {"dzo", "dz"}, // Dzongkha
    // e
    {"efi", ""}, // Efik
    {"egy", ""}, // Egyptian (Ancient)
    {"eka", ""}, // Ekajuk
    {"elx", ""}, // Elamite
    {"eng", "en"}, // English
    {"enm", ""}, // English, Middle (1100-1500)
    {"epo", "eo"}, // Esperanto
    {"est", "et"}, // Estonian
    {"ewe", "ee"}, // Ewe
    {"ewo", ""}, // Ewondo
    // f
    {"fan", ""}, // Fang
    {"fao", "fo"}, // Faroese
    {"fat", ""}, // Fanti
    {"fij", "fj"}, // Fijian
    {"fin", "fi"}, // Finnish
    {"fiu", ""}, // Finno-Ugrian languages
    {"fon", ""}, // Fon
    {"fre", "fr"}, // French
    {"fre", "fra"}, // French
    {"frm", ""}, // French, Middle (ca. 1400-1600)
    {"fro", ""}, // French, Old (842-ca. 1400)
    {"fry", "fy"}, // Western Frisian
    {"ful", "ff"}, // Fulah
    {"fur", ""}, // Friulian
    // g
    {"gaa", ""}, // Ga
    {"gay", ""}, // Gayo
    {"gba", ""}, // Gbaya
    {"gem", ""}, // Germanic languages
    {"geo", "ka"}, // Georgian
    {"geo", "kat"}, // Georgian
    {"ger", "de"}, // German
    {"ger", "deu"}, // German
    {"gez", ""}, // Geez
    {"gil", ""}, // Gilbertese
    {"gla", "gd"}, // Gaelic; Scottish Gaelic
    {"gle", "ga"}, // Irish
    {"glg", "gl"}, // Galician
    {"glv", "gv"}, // Manx
    {"gmh", ""}, // German, Middle High (ca. 1050-1500)
    {"goh", ""}, // German, Old High (ca. 750-1050)
    {"gon", ""}, // Gondi
    {"gor", ""}, // Gorontalo
    {"got", ""}, // Gothic
    {"grb", ""}, // Grebo
    {"grc", ""}, // Greek, Ancient (to 1453)
    {"gre", "el"}, // Greek, Modern (post 1453)
    {"gre", "ell"}, // Greek, Modern (post 1453)
    {"grn", "gn"}, // Guarani
    {"guj", "gu"}, // Gujarati
    {"gwi", ""}, // Gwich'in
    // h
    {"hai", ""}, // Haida
    {"hau", "ha"}, // Hausa
    {"haw", ""}, // Hawaiian
    {"heb", "he"}, // Hebrew
    {"her", "hz"}, // Herero
    {"hil", ""}, // Hiligaynon
    {"him", ""}, // Himachali languages; Western Pahari languages
    {"hin", "hi"}, // Hindi
    {"hit", ""}, // Hittite
    {"hmn", ""}, // Hmong; Mong
    {"hmo", "ho"}, // Hiri Motu
    {"hun", "hu"}, // Hungarian
    {"hup", ""}, // Hupa
    // i
    {"iba", ""}, // Iban
    {"ibo", "ig"}, // Igbo
    {"ice", "is"}, // Icelandic
    {"ice", "isl"}, // Icelandic
    {"ido", "io"}, // Ido
    {"iii", "ii"}, // Sichuan Yi; Nuosu
    {"ijo", ""}, // Ijo languages
    {"iku", "iu"}, // Inuktitut
    {"ile", "ie"}, // Interlingue; Occidental
    {"ilo", ""}, // Iloko
    {"ina", "ia"}, // Interlingua (International Auxiliary Language Association)
    {"inc", ""}, // Indic languages
    {"ind", "id"}, // Indonesian
    {"ine", ""}, // Indo-European languages
    {"ipk", "ik"}, // Inupiaq
    {"ira", ""}, // Iranian languages
    {"iro", ""}, // Iroquoian languages
    {"ita", "it"}, // Italian
    // j
    {"jav", "jv"}, // Javanese
    {"jpn", "ja"}, // Japanese
    {"jpr", ""}, // Judeo-Persian
    {"jrb", ""}, // Judeo-Arabic
    // k
    {"kaa", ""}, // Kara-Kalpak
    {"kab", ""}, // Kabyle
    {"kac", ""}, // Kachin; Jingpho
    {"kal", "kl"}, // Kalaallisut; Greenlandic
    {"kam", ""}, // Kamba
    {"kan", "kn"}, // Kannada
    {"kar", ""}, // Karen languages
    {"kas", "ks"}, // Kashmiri
    {"kau", "kr"}, // Kanuri
    {"kaw", ""}, // Kawi
    {"kaz", "kk"}, // Kazakh
    {"kha", ""}, // Khasi
    {"khi", ""}, // Khoisan languages
    {"khm", "km"}, // Central Khmer
    {"kho", ""}, // Khotanese; Sakan
    {"kik", "ki"}, // Kikuyu; Gikuyu
    {"kin", "rw"}, // Kinyarwanda
    {"kir", "ky"}, // Kirghiz; Kyrgyz
    {"kmb", ""}, // Kimbundu
    {"kok", ""}, // Konkani
    {"kom", "kv"}, // Komi
    {"kon", "kg"}, // Kongo
    {"kor", "ko"}, // Korean
    {"kos", ""}, // Kosraean
    {"kpe", ""}, // Kpelle
    {"kro", ""}, // Kru languages
    {"kru", ""}, // Kurukh
    {"kua", "kj"}, // Kuanyama; Kwanyama
    {"kum", ""}, // Kumyk
    {"kur", "ku"}, // Kurdish
    {"kut", ""}, // Kutenai
    // l
    {"lad", ""}, // Ladino
    {"lah", ""}, // Lahnda
    {"lam", ""}, // Lamba
    {"lao", "lo"}, // Lao
    {"lat", "la"}, // Latin
    {"lav", "lv"}, // Latvian
    {"lez", ""}, // Lezghian
    {"lim", "li"}, // Limburgan; Limburger; Limburgish
    {"lin", "ln"}, // Lingala
    {"lit", "lt"}, // Lithuanian
    {"lol", ""}, // Mongo
    {"loz", ""}, // Lozi
    {"ltz", "lb"}, // Luxembourgish; Letzeburgesch
    {"lua", ""}, // Luba-Lulua
    {"lub", "lu"}, // Luba-Katanga
    {"lug", "lg"}, // Ganda
    {"lui", ""}, // Luiseno
    {"lun", ""}, // Lunda
    {"luo", ""}, // Luo (Kenya and Tanzania)
    {"lus", ""}, // Lushai
    // m
    {"mac", "mk"}, // Macedonian
    {"mac", "mkd"}, // Macedonian
    {"mad", ""}, // Madurese
    {"mag", ""}, // Magahi
    {"mah", "mh"}, // Marshallese
    {"mai", ""}, // Maithili
    {"mak", ""}, // Makasar
    {"mal", "ml"}, // Malayalam
    {"man", ""}, // Mandingo
    {"mao", "mi"}, // Maori
    {"mao", "mri"}, // Maori
    {"map", ""}, // Austronesian languages
    {"mar", "mr"}, // Marathi
    {"mas", ""}, // Masai
    {"may", "ms"}, // Malay
    {"may", "msa"}, // Malay
    {"mdr", ""}, // Mandar
    {"men", ""}, // Mende
    {"mga", ""}, // Irish, Middle (900-1200)
    {"mic", ""}, // Mi'kmaq; Micmac
    {"min", ""}, // Minangkabau
    {"mis", ""}, // Uncoded languages
    {"mkh", ""}, // Mon-Khmer languages
    {"mlg", "mg"}, // Malagasy
    {"mlt", "mt"}, // Maltese
    {"mnc", ""}, // Manchu
    {"mni", ""}, // Manipuri
    {"mno", ""}, // Manobo languages
    {"moh", ""}, // Mohawk
    {"mol", "mo"}, // Moldavian
    {"mon", "mn"}, // Mongolian
    {"mos", ""}, // Mossi
    {"mul", ""}, // Multiple languages
    {"mun", ""}, // Munda languages
    {"mus", ""}, // Creek
    {"mwr", ""}, // Marwari
    {"myn", ""}, // Mayan languages
    // n
    {"nah", ""}, // Nahuatl languages
    {"nai", ""}, // North American Indian languages
    {"nap", ""}, // Neapolitan
    {"nau", "na"}, // Nauru
    {"nav", "nv"}, // Navajo; Navaho
    {"nbl", "nr"}, // Ndebele, South; South Ndebele
    {"nde", "nd"}, // Ndebele, North; North Ndebele
    {"ndo", "ng"}, // Ndonga
    {"nds", ""}, // Low German; Low Saxon; German, Low; Saxon, Low
    {"nep", "ne"}, // Nepali
    {"new", ""}, // Nepal Bhasa; Newari
    {"nia", ""}, // Nias
    {"nic", ""}, // Niger-Kordofanian languages
    {"niu", ""}, // Niuean
    {"nno", "nn"}, // Norwegian Nynorsk; Nynorsk, Norwegian
    {"nob", "nb"}, // Norwegian Bokmal; Bokmal, Norwegian
    {"non", ""}, // Norse, Old
    {"nor", "no"}, // Norwegian
    {"nso", ""}, // Pedi; Sepedi; Northern Sotho
    {"nub", ""}, // Nubian languages
    {"nya", "ny"}, // Chichewa; Chewa; Nyanja
    {"nym", ""}, // Nyamwezi
    {"nyn", ""}, // Nyankole
    {"nyo", ""}, // Nyoro
    {"nzi", ""}, // Nzima
    // o
    {"oci", "oc"}, // Occitan (post 1500); Provencal
    {"oji", "oj"}, // Ojibwa
    {"ori", "or"}, // Oriya
    {"orm", "om"}, // Oromo
    {"osa", ""}, // Osage
    {"oss", "os"}, // Ossetian; Ossetic
    {"ota", ""}, // Turkish, Ottoman (1500-1928)
    {"oto", ""}, // Otomian languages
    // p
    {"paa", ""}, // Papuan languages
    {"pag", ""}, // Pangasinan
    {"pal", ""}, // Pahlavi
    {"pam", ""}, // Pampanga; Kapampangan
    {"pan", "pa"}, // Panjabi; Punjabi
    {"pap", "pp"}, // Papiamento
    {"pau", ""}, // Palauan
    {"peo", ""}, // Persian, Old (ca. 600-400 B.C.)
    {"per", "fa"}, // Farsi; Persian
    {"per", "fas"}, // Farsi; Persian
    {"phi", "ph"}, // Philippine languages
    {"phn", ""}, // Phoenician
    {"pli", "pi"}, // Pali
    {"pol", "pl"}, // Polish
    {"pon", ""}, // Pohnpeian
    {"por", "pt"}, // Portuguese
    {"pra", ""}, // Prakrit languages
    {"pro", ""}, // Provencal, Old (to 1500)
    {"pus", "ps"}, // Pushto; Pashto
    // q
    {"que", "qu"}, // Quechua
    // r
    {"raj", ""}, // Rajasthani
    {"rap", ""}, // Rapanui
    {"rar", ""}, // Rarotongan; Cook Islands Maori
    {"roa", ""}, // Romance languages
    {"roh", "rm"}, // Romansh
    {"rom", ""}, // Romany
    {"rum", "ro"}, // Romanian; Moldavian; Moldovan
    {"rum", "ron"}, // Romanian; Moldavian; Moldovan
    {"run", "rn"}, // Rundi
    {"rus", "ru"}, // Russian
    // s
    {"sad", ""}, // Sandawe
    {"sag", "sg"}, // Sango
    {"sah", ""}, // Yakut
    {"sai", ""}, // South American Indian (Other)
    {"sal", ""}, // Salishan languages
    {"sam", ""}, // Samaritan Aramaic
    {"san", "sa"}, // Sanskrit
    {"sas", ""}, // Sasak
    {"sat", ""}, // Santali
    {"scc", "sr"}, // Serbian
    {"scc", "srp"}, // Serbian
    {"sco", ""}, // Scots
    {"scr", "hr"}, // Croatian
    {"scr", "hrv"}, // Croatian
    {"sel", ""}, // Selkup
    {"sem", ""}, // Semitic languages
    {"sga", ""}, // Irish, Old (to 900)
    {"sgn", ""}, // Sign Languages
    {"shn", ""}, // Shan
    {"sid", ""}, // Sidamo
    {"sin", "si"}, // Sinhala; Sinhalese
    {"sio", ""}, // Siouan languages
    {"sit", ""}, // Sino-Tibetan languages
    {"sla", ""}, // Slavic languages
    {"slo", "sk"}, // Slovak
    {"slo", "slk"}, // Slovak
    {"slv", "sl"}, // Slovenian
    {"sma", ""}, // Southern Sami
    {"sme", "se"}, // Northern Sami
    {"smi", ""}, // Sami languages
    {"smj", ""}, // Lule Sami
    {"smn", ""}, // Inari Sami
    {"smo", "sm"}, // Samoan
    {"sms", ""}, // Skolt Sami
    {"sna", "sn"}, // Shona
    {"snd", "sd"}, // Sindhi
    {"snk", ""}, // Soninke
    {"sog", ""}, // Sogdian
    {"som", "so"}, // Somali
    {"son", ""}, // Songhai languages
    {"sot", "st"}, // Sotho, Southern
    {"spa", "es"}, // Spanish; Castilian
    {"srd", "sc"}, // Sardinian
    {"srr", ""}, // Serer
    {"ssa", ""}, // Nilo-Saharan languages
    {"ssw", "ss"}, // Swati
    {"suk", ""}, // Sukuma
    {"sun", "su"}, // Sundanese
    {"sus", ""}, // Susu
    {"sux", ""}, // Sumerian
    {"swa", "sw"}, // Swahili
    {"swe", "sv"}, // Swedish
    {"syr", ""}, // Syriac
    // t
    {"tah", "ty"}, // Tahitian
    {"tai", ""}, // Tai languages
    {"tam", "ta"}, // Tamil
    {"tat", "tt"}, // Tatar
    {"tel", "te"}, // Telugu
    {"tem", ""}, // Timne
    {"ter", ""}, // Tereno
    {"tet", ""}, // Tetum
    {"tgk", "tg"}, // Tajik
    {"tgl", "tl"}, // Tagalog
    {"tha", "th"}, // Thai
    {"tib", "bo"}, // Tibetan
    {"tib", "bod"}, // Tibetan
    {"tig", ""}, // Tigre
    {"tir", "ti"}, // Tigrinya
    {"tiv", ""}, // Tiv
    {"tkl", ""}, // Tokelau
    {"tli", ""}, // Tlingit
    {"tmh", ""}, // Tamashek
    {"tog", ""}, // Tonga (Nyasa)
    {"ton", "to"}, // Tonga (Tonga Islands)
    {"tpi", ""}, // Tok Pisin
    {"tsi", ""}, // Tsimshian
    {"tsn", "tn"}, // Tswana
    {"tso", "ts"}, // Tsonga
    {"tuk", "tk"}, // Turkmen
    {"tum", ""}, // Tumbuka
    {"tup", ""}, // Tupi languages
    {"tur", "tr"}, // Turkish
    {"tut", ""}, // Altaic languages
    {"tvl", ""}, // Tuvalu
    {"twi", "tw"}, // Twi
    {"tyv", ""}, // Tuvinian
    // u
    {"uga", ""}, // Ugaritic
    {"uig", "ug"}, // Uighur; Uyghur
    {"ukr", "uk"}, // Ukrainian
    {"umb", ""}, // Umbundu
    {"und", ""}, // Undetermined
    {"urd", "ur"}, // Urdu
    {"uzb", "uz"}, // Uzbek
    // v
    {"vai", ""}, // Vai
    {"ven", "ve"}, // Venda
    {"vie", "vi"}, // Vietnamese
    {"vol", "vo"}, // Volapuk
    {"vot", ""}, // Votic
    // w
    {"wak", ""}, // Wakashan languages
    {"wal", ""}, // Walamo
    {"war", ""}, // Waray
    {"was", ""}, // Washo
    {"wel", "cy"}, // Welsh
    {"wel", "cym"}, // Welsh
    {"wen", ""}, // Sorbian languages
    {"wln", "wa"}, // Walloon
    {"wol", "wo"}, // Wolof
    // x
    {"xho", "xh"}, // Xhosa
    // y
    {"yao", ""}, // Yao
    {"yap", ""}, // Yapese
    {"yid", "yi"}, // Yiddish
    {"yor", "yo"}, // Yoruba
    {"ypk", ""}, // Yupik languages
    // z
    {"zap", ""}, // Zapotec
    {"zen", ""}, // Zenaga
    {"zha", "za"}, // Zhuang; Chuang
    {"znd", ""}, // Zande languages
    {"zul", "zu"}, // Zulu
    {"zun", ""}, // Zuni
}};
// clang-format on

namespace {

// Every row holds a three-letter code, in ascending order: a row lost or
// misplaced would change lookups without a sound, so the build refuses it.
constexpr bool tvk_languages_in_order() {
    std::string_view previous;
    for (const tvk_language_row& row : tvk_languages) {
        const std::string_view code = row.bib_code;
        if (code.size() != 3 || code < previous)
            return false;
        previous = code;
    }
    return true;
}
static_assert(tvk_languages_in_order());

} // namespace
