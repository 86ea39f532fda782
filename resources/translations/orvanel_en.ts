<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="fr_FR">
<context>
    <name>Automation</name>
    <message>
        <source>pour l&apos;utilisateur courant</source>
        <translation>for the current user</translation>
    </message>
    <message>
        <source>pour tous les utilisateurs</source>
        <translation>for all users</translation>
    </message>
    <message>
        <source>L&apos;enregistrement pour tous les utilisateurs demande les droits d&apos;administrateur (sudo orvanel /REGSERVER) ; pour l&apos;utilisateur courant seul : orvanel /REGSERVERPERUSER</source>
        <translation>Registering for all users needs administrator rights (sudo orvanel /REGSERVER); for the current user only: orvanel /REGSERVERPERUSER</translation>
    </message>
    <message>
        <source>Le désenregistrement pour tous les utilisateurs demande les droits d&apos;administrateur (sudo orvanel /UNREGSERVER)</source>
        <translation>Unregistering for all users needs administrator rights (sudo orvanel /UNREGSERVER)</translation>
    </message>
    <message>
        <source>Impossible de créer le dossier %s</source>
        <translation>Cannot create the folder %s</translation>
    </message>
    <message>
        <source>Impossible d&apos;écrire le fichier d&apos;activation %s : %s</source>
        <translation>Cannot write the activation file %s: %s</translation>
    </message>
    <message>
        <source>Impossible de retirer le fichier d&apos;activation %s : %s</source>
        <translation>Cannot remove the activation file %s: %s</translation>
    </message>
    <message>
        <source>Serveur d&apos;automatisation ClarityII enregistré %s :</source>
        <translation>ClarityII automation server registered %s:</translation>
    </message>
    <message>
        <source>Serveur d&apos;automatisation ClarityII désenregistré %s (%s)</source>
        <translation>ClarityII automation server unregistered %s (%s)</translation>
    </message>
</context>
<context>
    <name>ComObjRs232</name>
    <message>
        <source>Error -&gt; Back order failed !!</source>
        <translation>Error -&gt; Back order failed !!</translation>
    </message>
    <message>
        <source>Error -&gt; Back order checksum failed !!</source>
        <translation>Error -&gt; Back order checksum failed !!</translation>
    </message>
    <message>
        <source>Erreur de checksum !!</source>
        <translation>Checksum error !!</translation>
    </message>
    <message>
        <source>WriteBuffer Error %d , %d!</source>
        <translation>WriteBuffer Error %d , %d!</translation>
    </message>
    <message>
        <source>Ne peut ouvrir le port COM%d !</source>
        <translation>Cannot open port COM%d!</translation>
    </message>
    <message>
        <source>Pas de réponse du système distant (COM%d)</source>
        <translation>No answer from the remote system (COM%d)</translation>
    </message>
    <message>
        <source>Erreur d&apos;écriture sur COM%d [%d,%d] !</source>
        <translation>Write error on COM%d [%d,%d]!</translation>
    </message>
    <message>
        <source>Erreur de lecture port COM%d (Entete)  lus=%d (octets), attendus=%d! (octets) !</source>
        <translation>Read error on port COM%d (header): read=%d (bytes), expected=%d (bytes)!</translation>
    </message>
    <message>
        <source>Erreur de lecture port COM%d (Entete) longueur annoncée=%d (octets), maximum=%d (octets) !</source>
        <translation>Read error on port COM%d (header): announced length=%d (bytes), maximum=%d (bytes)!</translation>
    </message>
    <message>
        <source>Erreur de lecture port COM%d (Données) lus=%d (octets), attendus=%d! (octets) !</source>
        <translation>Read error on port COM%d (data): read=%d (bytes), expected=%d (bytes)!</translation>
    </message>
</context>
<context>
    <name>ConditionFiles</name>
    <message>
        <source>%s non écrit : %s</source>
        <translation>%s not written: %s</translation>
    </message>
    <message>
        <source>c&apos;est un lien symbolique d&apos;un autre utilisateur</source>
        <translation>it is a symbolic link of another user</translation>
    </message>
    <message>
        <source>ce n&apos;est pas un fichier ordinaire</source>
        <translation>it is not a regular file</translation>
    </message>
    <message>
        <source>il appartient à un autre utilisateur</source>
        <translation>it belongs to another user</translation>
    </message>
    <message>
        <source>trop de liens symboliques</source>
        <translation>too many symbolic links</translation>
    </message>
    <message>
        <source>Fichier de conditions non écrit : aucun nom de fichier (réglage &quot;BoltWoodFileName&quot; sous [Config])</source>
        <translation>Condition file not written: no file name (setting &quot;BoltWoodFileName&quot; under [Config])</translation>
    </message>
</context>
<context>
    <name>ConditionTexts</name>
    <message>
        <source>Pas disponible</source>
        <translation>Not available</translation>
    </message>
    <message>
        <source>DEGAGE</source>
        <translation>CLEAR</translation>
    </message>
    <message>
        <source>COUVERT</source>
        <translation>CLOUDY</translation>
    </message>
    <message>
        <source>TRES COUVERT</source>
        <translation>VERY CLOUDY</translation>
    </message>
    <message>
        <source>SEC</source>
        <translation>DRY</translation>
    </message>
    <message>
        <source>HUMIDE</source>
        <translation>HUMID</translation>
    </message>
    <message>
        <source>TRES HUMIDE</source>
        <translation>VERY HUMID</translation>
    </message>
    <message>
        <source>OUI</source>
        <translation>YES</translation>
    </message>
    <message>
        <source>NON</source>
        <translation>NO</translation>
    </message>
    <message>
        <source>CALME</source>
        <translation>CALM</translation>
    </message>
    <message>
        <source>VENTEUX</source>
        <translation>WINDY</translation>
    </message>
    <message>
        <source>TRES VENTEUX</source>
        <translation>VERY WINDY</translation>
    </message>
    <message>
        <source>NUIT NOIRE</source>
        <translation>DARK NIGHT</translation>
    </message>
    <message>
        <source>Nuit noire sans Lune</source>
        <translation>Dark night without Moon</translation>
    </message>
    <message>
        <source>NUIT &quot;GRISE&quot;</source>
        <translation>GREY NIGHT</translation>
    </message>
    <message>
        <source>Crépuscule terminant, présence de Lune ou de forte pollution lumineuse...</source>
        <translation>End of twilight, Moon or strong light pollution...</translation>
    </message>
    <message>
        <source>CREPUSCULE</source>
        <translation>TWILIGHT</translation>
    </message>
    <message>
        <source>Crépuscule avancé</source>
        <translation>Late twilight</translation>
    </message>
    <message>
        <source>JOUR</source>
        <translation>DAY</translation>
    </message>
    <message>
        <source>Jour (Soleil levé)</source>
        <translation>Day (Sun up)</translation>
    </message>
    <message>
        <source>Ciel</source>
        <translation>Sky</translation>
    </message>
    <message>
        <source>Air</source>
        <translation>Air</translation>
    </message>
    <message>
        <source>Pluie</source>
        <translation>Rain</translation>
    </message>
    <message>
        <source>Vent</source>
        <translation>Wind</translation>
    </message>
    <message>
        <source>Fond de ciel</source>
        <translation>Sky background</translation>
    </message>
    <message>
        <source>Relais</source>
        <translation>Relay</translation>
    </message>
    <message>
        <source>%d an(s) </source>
        <translation>%d year(s) </translation>
    </message>
    <message>
        <source>%d mois </source>
        <translation>%d month(s) </translation>
    </message>
    <message>
        <source>%d jour(s) </source>
        <translation>%d day(s) </translation>
    </message>
    <message>
        <source>%d Heure(s) </source>
        <translation>%d hour(s) </translation>
    </message>
    <message>
        <source>%d Min(s) </source>
        <translation>%d min(s) </translation>
    </message>
    <message>
        <source>%d sec</source>
        <translation>%d sec</translation>
    </message>
    <message>
        <source>%1.1f J</source>
        <translation>%1.1f d</translation>
    </message>
    <message>
        <source>%1.1f h</source>
        <translation>%1.1f h</translation>
    </message>
    <message>
        <source>En vert clair, SI le vent est inférieur à %d</source>
        <translation>In light green, IF the wind is below %d</translation>
    </message>
    <message>
        <source> + ciel trés dégagé (Tciel&lt;%d°C) + pas de pluie, et ciel noir (Magn/sec²&gt;%1.0f)</source>
        <translation> + very clear sky (Tsky&lt;%d°C) + no rain, and dark sky (Magn/sec²&gt;%1.0f)</translation>
    </message>
</context>
<context>
    <name>ConditionsPresenter</name>
    <message>
        <source>Dégivrage actif</source>
        <translation>Defrosting</translation>
    </message>
    <message>
        <source>Séchage consécutif à la pluie/neige</source>
        <translation>Drying after rain/snow</translation>
    </message>
    <message>
        <source>Pas de données</source>
        <translation>No data</translation>
    </message>
    <message>
        <source>Pas disponible</source>
        <translation>Not available</translation>
    </message>
</context>
<context>
    <name>Conversions</name>
    <message>
        <source>Pas de données</source>
        <translation>No data</translation>
    </message>
    <message>
        <source>N</source>
        <translation>N</translation>
    </message>
    <message>
        <source>N-NE</source>
        <translation>N-NE</translation>
    </message>
    <message>
        <source>NE</source>
        <translation>NE</translation>
    </message>
    <message>
        <source>E-NE</source>
        <translation>E-NE</translation>
    </message>
    <message>
        <source>E</source>
        <translation>E</translation>
    </message>
    <message>
        <source>E-SE</source>
        <translation>E-SE</translation>
    </message>
    <message>
        <source>SE</source>
        <translation>SE</translation>
    </message>
    <message>
        <source>S-SE</source>
        <translation>S-SE</translation>
    </message>
    <message>
        <source>S</source>
        <translation>S</translation>
    </message>
    <message>
        <source>S-SO</source>
        <translation>S-SW</translation>
    </message>
    <message>
        <source>SO</source>
        <translation>SW</translation>
    </message>
    <message>
        <source>O-SO</source>
        <translation>W-SW</translation>
    </message>
    <message>
        <source>O</source>
        <translation>W</translation>
    </message>
    <message>
        <source>W-NO</source>
        <translation>W-NW</translation>
    </message>
    <message>
        <source>NO</source>
        <translation>NW</translation>
    </message>
    <message>
        <source>N-NO</source>
        <translation>N-NW</translation>
    </message>
</context>
<context>
    <name>CsvExport</name>
    <message>
        <source>L&apos;export CSV dans %s a échoué (%s) : le fichier est incomplet, %d ligne(s) de données écrite(s).</source>
        <translation>The CSV export to %s failed (%s): the file is incomplete, %d data line(s) written.</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>Temp °C</source>
        <translation>Temp °C</translation>
    </message>
    <message>
        <source>Tp Ciel °C</source>
        <translation>Sky Temp °C</translation>
    </message>
    <message>
        <source>Tp Ciel-Temp °C</source>
        <translation>Sky-Ambient °C</translation>
    </message>
    <message>
        <source>Pluie</source>
        <translation>Rain</translation>
    </message>
    <message>
        <source>Lumière</source>
        <translation>Light</translation>
    </message>
    <message>
        <source>Lumiere (Mag)</source>
        <translation>Light (Mag)</translation>
    </message>
    <message>
        <source>Dir. Vent (°)</source>
        <translation>Wind Dir. (°)</translation>
    </message>
    <message>
        <source>Vent (</source>
        <translation>Wind (</translation>
    </message>
    <message>
        <source>Humidité (%)</source>
        <translation>Humidity (%)</translation>
    </message>
    <message>
        <source>Le fichier %s ne peut pas être créé (%s) : rien n&apos;a été exporté.</source>
        <translation>The file %s cannot be created (%s): nothing was exported.</translation>
    </message>
</context>
<context>
    <name>DarkCompute</name>
    <message>
        <source>La mesure n&apos;est pas valide, de la lumière a du arriver sur la photodiode...</source>
        <translation>The measurement is not valid, light must have reached the photodiode...</translation>
    </message>
    <message>
        <source>La valeur finale (%1.5f) est trop importante ! Il doit y avoir des fuites de lumière...</source>
        <translation>The final value (%1.5f) is too high! There must be light leaks...</translation>
    </message>
</context>
<context>
    <name>Dashboard</name>
    <message>
        <source>seule la méthode GET est servie</source>
        <translation>only GET is served</translation>
    </message>
    <message>
        <source>fichier inconnu</source>
        <translation>unknown file</translation>
    </message>
    <message>
        <source>SÛR</source>
        <translation>SAFE</translation>
    </message>
    <message>
        <source>NON SÛR</source>
        <translation>UNSAFE</translation>
    </message>
    <message>
        <source>Température du ciel</source>
        <translation>Sky temperature</translation>
    </message>
    <message>
        <source>Ciel − ambiante</source>
        <translation>Sky − ambient</translation>
    </message>
    <message>
        <source>Température ambiante</source>
        <translation>Ambient temperature</translation>
    </message>
    <message>
        <source>Point de rosée</source>
        <translation>Dew point</translation>
    </message>
    <message>
        <source>Humidité</source>
        <translation>Humidity</translation>
    </message>
    <message>
        <source>Pluie</source>
        <translation>Rain</translation>
    </message>
    <message>
        <source>Rafale</source>
        <translation>Wind gust</translation>
    </message>
    <message>
        <source>Direction de la rafale</source>
        <translation>Gust direction</translation>
    </message>
    <message>
        <source>Fond de ciel</source>
        <translation>Sky brightness</translation>
    </message>
    <message>
        <source>Niveau de lumière</source>
        <translation>Light level</translation>
    </message>
    <message>
        <source>Chauffage</source>
        <translation>Heater</translation>
    </message>
    <message>
        <source>Alimentation</source>
        <translation>Supply</translation>
    </message>
    <message>
        <source>Détecteur de pluie</source>
        <translation>Rain sensor</translation>
    </message>
    <message>
        <source>Détecteur IR</source>
        <translation>IR detector</translation>
    </message>
    <message>
        <source>Surveillance</source>
        <translation>Watching</translation>
    </message>
    <message>
        <source>Ciel-sol &lt;</source>
        <translation>Sky-ground &lt;</translation>
    </message>
    <message>
        <source>Humidité &lt;</source>
        <translation>Humidity &lt;</translation>
    </message>
    <message>
        <source>Vent &lt;</source>
        <translation>Wind &lt;</translation>
    </message>
    <message>
        <source>Lumière</source>
        <translation>Light</translation>
    </message>
    <message>
        <source>Magnitude &gt;</source>
        <translation>Magnitude &gt;</translation>
    </message>
    <message>
        <source>Ciel</source>
        <translation>Sky</translation>
    </message>
    <message>
        <source>Atmosphère</source>
        <translation>Air</translation>
    </message>
    <message>
        <source>Pluie/neige</source>
        <translation>Rain/snow</translation>
    </message>
    <message>
        <source>Vent</source>
        <translation>Wind</translation>
    </message>
    <message>
        <source>aucune mesure météo reçue depuis le démarrage</source>
        <translation>no weather reading since the start</translation>
    </message>
    <message>
        <source>grandeur inconnue : &quot;%s&quot;</source>
        <translation>unknown quantity: &quot;%s&quot;</translation>
    </message>
    <message>
        <source>date &quot;%s&quot; de %s illisible : ISO 8601 avec fuseau attendu, par exemple 2026-12-09T21:00:00Z</source>
        <translation>date &quot;%s&quot; of %s cannot be read: ISO 8601 with a time zone expected, for example 2026-12-09T21:00:00Z</translation>
    </message>
    <message>
        <source>nombre de colonnes &quot;%s&quot; refusé : de 1 à %d</source>
        <translation>number of columns &quot;%s&quot; refused: from 1 to %d</translation>
    </message>
    <message>
        <source>paramètre inconnu : &quot;%s&quot;</source>
        <translation>unknown parameter: &quot;%s&quot;</translation>
    </message>
    <message>
        <source>paramètre &quot;quantity&quot; manquant</source>
        <translation>parameter &quot;quantity&quot; missing</translation>
    </message>
    <message>
        <source>la date &quot;from&quot; doit précéder la date &quot;to&quot;</source>
        <translation>the &quot;from&quot; date must come before the &quot;to&quot; date</translation>
    </message>
    <message>
        <source>fr</source>
        <translation>en</translation>
    </message>
    <message>
        <source>Orvanel : conditions à l&apos;observatoire</source>
        <translation>Orvanel: conditions at the observatory</translation>
    </message>
    <message>
        <source>toutes les conditions sont réunies</source>
        <translation>all conditions are met</translation>
    </message>
    <message>
        <source>depuis %1</source>
        <translation>since %1</translation>
    </message>
    <message>
        <source>mesure d&apos;il y a %1</source>
        <translation>reading from %1 ago</translation>
    </message>
    <message>
        <source>%1 : trop ancienne</source>
        <translation>%1: too old</translation>
    </message>
    <message>
        <source>liaison perdue</source>
        <translation>link lost</translation>
    </message>
    <message>
        <source>aucune mesure</source>
        <translation>no reading</translation>
    </message>
    <message>
        <source>en attente de la première mesure...</source>
        <translation>waiting for the first reading...</translation>
    </message>
    <message>
        <source>connexion au programme perdue, nouvel essai...</source>
        <translation>connection to the program lost, trying again...</translation>
    </message>
    <message>
        <source>Mesures</source>
        <translation>Readings</translation>
    </message>
    <message>
        <source>Etats</source>
        <translation>States</translation>
    </message>
    <message>
        <source>Relais</source>
        <translation>Relay</translation>
    </message>
    <message>
        <source>Historique</source>
        <translation>History</translation>
    </message>
    <message>
        <source>Thème</source>
        <translation>Theme</translation>
    </message>
    <message>
        <source>Jour</source>
        <translation>Day</translation>
    </message>
    <message>
        <source>Sombre</source>
        <translation>Dark</translation>
    </message>
    <message>
        <source>Vision de nuit</source>
        <translation>Night vision</translation>
    </message>
    <message>
        <source>6 h</source>
        <translation>6 h</translation>
    </message>
    <message>
        <source>24 h</source>
        <translation>24 h</translation>
    </message>
    <message>
        <source>3 jours</source>
        <translation>3 days</translation>
    </message>
    <message>
        <source>7 jours</source>
        <translation>7 days</translation>
    </message>
    <message>
        <source>30 jours</source>
        <translation>30 days</translation>
    </message>
    <message>
        <source>1 an</source>
        <translation>1 year</translation>
    </message>
    <message>
        <source>tout</source>
        <translation>all</translation>
    </message>
    <message>
        <source>Glisser sur un graphique pour zoomer, double-clic pour revenir.</source>
        <translation>Drag across a plot to zoom, double-click to go back.</translation>
    </message>
    <message>
        <source>OUI</source>
        <translation>YES</translation>
    </message>
    <message>
        <source>NON</source>
        <translation>NO</translation>
    </message>
    <message>
        <source>Ciel et ciel − ambiante</source>
        <translation>Sky and sky − ambient</translation>
    </message>
    <message>
        <source>Température ambiante et point de rosée</source>
        <translation>Ambient temperature and dew point</translation>
    </message>
    <message>
        <source>bonnes conditions</source>
        <translation>good conditions</translation>
    </message>
    <message>
        <source>min</source>
        <translation>min</translation>
    </message>
    <message>
        <source>max</source>
        <translation>max</translation>
    </message>
    <message>
        <source>historique non mis à jour : %1</source>
        <translation>history not updated: %1</translation>
    </message>
</context>
<context>
    <name>DataTable</name>
    <message>
        <source>Index</source>
        <translation>Index</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>Temp °C</source>
        <translation>Temp °C</translation>
    </message>
    <message>
        <source>Tp Ciel °C</source>
        <translation>Sky Temp °C</translation>
    </message>
    <message>
        <source>Pluie</source>
        <translation>Rain</translation>
    </message>
    <message>
        <source>Magnitude</source>
        <translation>Magnitude</translation>
    </message>
    <message>
        <source>Lumière</source>
        <translation>Light</translation>
    </message>
    <message>
        <source>Dir. Vent (°)</source>
        <translation>Wind Dir. (°)</translation>
    </message>
    <message>
        <source>Vent (</source>
        <translation>Wind (</translation>
    </message>
    <message>
        <source>Humidité (%)</source>
        <translation>Humidity (%)</translation>
    </message>
    <message>
        <source>OUI</source>
        <translation>YES</translation>
    </message>
    <message>
        <source>NON</source>
        <translation>NO</translation>
    </message>
    <message>
        <source>Affichage des données des %1.0f dernier(s) jour(s) : %d données</source>
        <translation>Showing the data of the last %1.0f day(s): %d records</translation>
    </message>
    <message>
        <source>Le nombre de points est supérieur à %d, il ne seront pas tous affichés ici !</source>
        <translation>There are more than %d points, they will not all be shown here!</translation>
    </message>
</context>
<context>
    <name>HistoryEdits</name>
    <message>
        <source>Index d&apos;arrivée inférieur à l&apos;index de depart !!</source>
        <translation>End index lower than the start index!!</translation>
    </message>
    <message>
        <source>Index d&apos;arrivée supérieur au nombre de points !!</source>
        <translation>End index higher than the number of points!!</translation>
    </message>
    <message>
        <source>Index de départ inférieur à 1 !!</source>
        <translation>Start index lower than 1!!</translation>
    </message>
    <message>
        <source>Supprimer définitivement %d donnée(s), du %s au %s ?</source>
        <translation>Permanently delete %d record(s), from %s to %s?</translation>
    </message>
</context>
<context>
    <name>HistoryFile</name>
    <message>
        <source>Erreur de lecture du fichier %s : %s</source>
        <translation>Error reading the file %s: %s</translation>
    </message>
    <message>
        <source> n&apos;a pas le bon format, le nombre magique est égal à zero, ce fichier devrait être effacé car il a été endommagé !</source>
        <translation> has the wrong format, its magic number is zero: this file should be deleted, it has been damaged!</translation>
    </message>
    <message>
        <source> n&apos;a pas le bon format (Nombre Magique n&apos;est pas le bon) !</source>
        <translation> has the wrong format (wrong magic number)!</translation>
    </message>
    <message>
        <source>Erreur d&apos;écriture du fichier %s : %s</source>
        <translation>Error writing the file %s: %s</translation>
    </message>
    <message>
        <source>Impossible de créer le dossier %s : %s</source>
        <translation>Cannot create the folder %s: %s</translation>
    </message>
    <message>
        <source>La copie du fichier endommagé dans %s a échoué !</source>
        <translation>Copying the damaged file to %s failed!</translation>
    </message>
    <message>
        <source>Le fichier endommagé a été copié dans %s</source>
        <translation>The damaged file was copied to %s</translation>
    </message>
    <message>
        <source>Charge le fichier : </source>
        <translation>Loading the file: </translation>
    </message>
    <message>
        <source>%s est endommagé : il annonce %d points et en contient %d complets ; %d points ont été chargés, %d mis de côté dans %s.</source>
        <translation>%s is damaged: it announces %d points and holds %d complete ones; %d points were loaded, %d set aside in %s.</translation>
    </message>
    <message>
        <source>%s est endommagé : il annonce %d points mais n&apos;en contient que %d complets, qui ont été chargés.</source>
        <translation>%s is damaged: it announces %d points but holds only %d complete ones, which were loaded.</translation>
    </message>
    <message>
        <source>Le fichier %s n&apos;a pas pu être lu, il n&apos;est pas réécrit.</source>
        <translation>The file %s could not be read; it is not rewritten.</translation>
    </message>
    <message>
        <source>tube nommé</source>
        <translation>named pipe</translation>
    </message>
    <message>
        <source>dossier</source>
        <translation>folder</translation>
    </message>
    <message>
        <source>périphérique</source>
        <translation>device</translation>
    </message>
    <message>
        <source>socket</source>
        <translation>socket</translation>
    </message>
    <message>
        <source>fichier spécial</source>
        <translation>special file</translation>
    </message>
    <message>
        <source>%s n&apos;est pas un fichier ordinaire (%s) : il n&apos;est pas lu.</source>
        <translation>%s is not a regular file (%s): it is not read.</translation>
    </message>
    <message>
        <source>%d points entièrement nuls n&apos;ont été ni chargés ni mis de côté.</source>
        <translation>%d points made only of zeros were neither loaded nor set aside.</translation>
    </message>
    <message>
        <source>Le fichier %s contenait %d points, il n&apos;en resterait que %d : il n&apos;est pas réécrit.</source>
        <translation>The file %s held %d points and only %d would remain: it is not rewritten.</translation>
    </message>
</context>
<context>
    <name>MainForm</name>
    <message>
        <source>Pas disponible</source>
        <translation>Not available</translation>
    </message>
    <message>
        <source>Non activé, pas de surveillance</source>
        <translation>Not activated, no watching</translation>
    </message>
    <message>
        <source>Ouvrir relais</source>
        <translation>Open relay</translation>
    </message>
    <message>
        <source>Ouvre le relais de fermeture d&apos;urgence d&apos;Abri/Dôme...</source>
        <translation>Opens the emergency closing relay of the roof/dome...</translation>
    </message>
    <message>
        <source>OUI</source>
        <translation>YES</translation>
    </message>
    <message>
        <source>NON</source>
        <translation>NO</translation>
    </message>
    <message>
        <source> Fermé</source>
        <translation> Closed</translation>
    </message>
    <message>
        <source>Activé à </source>
        <translation>Activated at </translation>
    </message>
    <message>
        <source>Alarme : activation du relai d&apos;urgence !</source>
        <translation>Alarm: emergency relay activated!</translation>
    </message>
    <message>
        <source> Ouvert</source>
        <translation> Open</translation>
    </message>
    <message>
        <source>Ouvrir relai  [%1.1f m]</source>
        <translation>Open relay  [%1.1f m]</translation>
    </message>
    <message>
        <source>Ouvrir relai</source>
        <translation>Open relay</translation>
    </message>
    <message>
        <source>Réarmé à : </source>
        <translation>Re-armed at: </translation>
    </message>
    <message>
        <source>Le programme s&apos;est arrêté anormalement le %s (%s). Rapport : %s</source>
        <translation>The program stopped abnormally on %s (%s). Report: %s</translation>
    </message>
    <message>
        <source>Moniteur de nuages HALVEX</source>
        <translation>HALVEX Cloud Monitor</translation>
    </message>
    <message>
        <source>v1.49 27/03/13</source>
        <translation>v1.49 03/27/13</translation>
    </message>
    <message>
        <source>Affichage des données des %1.0f dernier(s) jour(s)</source>
        <translation>Showing the data of the last %1.0f day(s)</translation>
    </message>
    <message>
        <source>Erreur lors de la sauvegarde périodique -&gt; </source>
        <translation>Error during the periodic save -&gt; </translation>
    </message>
    <message>
        <source>Erreur dans la procédure &quot;AffData_threadOver&quot;, message -&gt; </source>
        <translation>Error in the procedure &quot;AffData_threadOver&quot;, message -&gt; </translation>
    </message>
    <message>
        <source>%d données totales</source>
        <translation>%d records in all</translation>
    </message>
    <message>
        <source>Erreur : </source>
        <translation>Error: </translation>
    </message>
    <message>
        <source>Version -&gt; </source>
        <translation>Version -&gt; </translation>
    </message>
    <message>
        <source> enregistrements</source>
        <translation> records</translation>
    </message>
    <message>
        <source>A récupéré </source>
        <translation>Retrieved </translation>
    </message>
    <message>
        <source> donnée(s) EEPROM Halvex</source>
        <translation> Halvex EEPROM record(s)</translation>
    </message>
    <message>
        <source>Récupère les donnée(s) EEPROM Halvex : </source>
        <translation>Retrieving the Halvex EEPROM records: </translation>
    </message>
    <message>
        <source>Affiché à </source>
        <translation>Shown at </translation>
    </message>
    <message>
        <source>Voulez-vous re-activer la surveillance ?</source>
        <translation>Do you want to watch again?</translation>
    </message>
    <message>
        <source>Nouvel essai de démarrage dans %d s</source>
        <translation>Start-up retry in %d s</translation>
    </message>
    <message>
        <source>Nouvel essai de démarrage n° %d</source>
        <translation>Start-up retry #%d</translation>
    </message>
    <message>
        <source>Liaison perdue avec la station (%s), nouvel essai dans %d s</source>
        <translation>Link with the station lost (%s), retry in %d s</translation>
    </message>
    <message>
        <source>Liaison rétablie avec la station (%s)</source>
        <translation>Link with the station restored (%s)</translation>
    </message>
    <message>
        <source>Erreur lors de la fermeture de l&apos;application : </source>
        <translation>Error while closing the application: </translation>
    </message>
    <message>
        <source>   Transfert FTP en cours (</source>
        <translation>   FTP transfer running (</translation>
    </message>
    <message>
        <source>   Transfert FTP en attente (</source>
        <translation>   FTP transfer pending (</translation>
    </message>
    <message>
        <source>Qualité JPEG hors limites (1 à 100) : %d</source>
        <translation>JPEG quality out of range (1 to 100): %d</translation>
    </message>
    <message>
        <source>Le gain IR ne peut pas être changé : le Halvex n&apos;a pas donné le gain de son premier étage.</source>
        <translation>The IR gain cannot be changed: the Halvex did not report the gain of its first stage.</translation>
    </message>
    <message>
        <source>Le gain IR %d ne peut pas être obtenu avec le premier étage du Halvex (gain %1.1f).</source>
        <translation>The IR gain %d cannot be reached with the first stage of the Halvex (gain %1.1f).</translation>
    </message>
    <message>
        <source>Nombre de mois de données à charger a été changé : il faut redémarrer le logiciel pour la prise en compte de ce paramètre !</source>
        <translation>The number of months of data to load has changed: restart the program for this setting to take effect!</translation>
    </message>
    <message>
        <source>Le port série n&apos;a pas pu être changé : une communication avec le Halvex est en cours.</source>
        <translation>The serial port could not be changed: a communication with the Halvex is in progress.</translation>
    </message>
    <message>
        <source>Ok, paramètres de configuration envoyés au Halvex !</source>
        <translation>Ok, configuration settings sent to the Halvex!</translation>
    </message>
    <message>
        <source>Pas de liaison avec le Halvex.</source>
        <translation>No link with the Halvex.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Exception de test</source>
        <translation>Test exception</translation>
    </message>
    <message>
        <source>Fichiers</source>
        <translation>Files</translation>
    </message>
    <message>
        <source>Sauver copie écran</source>
        <translation>Save screenshot</translation>
    </message>
    <message>
        <source>Sauver images pour transfert FTP</source>
        <translation>Save images for FTP transfer</translation>
    </message>
    <message>
        <source>Exporter les données en CSV</source>
        <translation>Export the data as CSV</translation>
    </message>
    <message>
        <source>Voir le répertoire de fichiers de données</source>
        <translation>Show the data files folder</translation>
    </message>
    <message>
        <source>Voir le répertoire des images sauvées</source>
        <translation>Show the saved images folder</translation>
    </message>
    <message>
        <source>Quitter</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>Graphiques</source>
        <translation>Graphs</translation>
    </message>
    <message>
        <source>Copier image</source>
        <translation>Copy image</translation>
    </message>
    <message>
        <source>Montrer dernier(es)</source>
        <translation>Show last</translation>
    </message>
    <message>
        <source>heure</source>
        <translation>hour</translation>
    </message>
    <message>
        <source>6 heures</source>
        <translation>6 hours</translation>
    </message>
    <message>
        <source>24 heures</source>
        <translation>24 hours</translation>
    </message>
    <message>
        <source>3 jours</source>
        <translation>3 days</translation>
    </message>
    <message>
        <source>semaine</source>
        <translation>week</translation>
    </message>
    <message>
        <source>mois</source>
        <translation>month</translation>
    </message>
    <message>
        <source>année</source>
        <translation>year</translation>
    </message>
    <message>
        <source>2 ans</source>
        <translation>2 years</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>Configuration</source>
        <translation>Configuration</translation>
    </message>
    <message>
        <source>Publication Web</source>
        <translation>Web publishing</translation>
    </message>
    <message>
        <source>Langues</source>
        <translation>Languages</translation>
    </message>
    <message>
        <source>Francais</source>
        <translation>French</translation>
    </message>
    <message>
        <source>Anglais</source>
        <translation>English</translation>
    </message>
    <message>
        <source>Restaurer</source>
        <translation>Restore</translation>
    </message>
    <message>
        <source>Fermer</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Moniteur de nuages</source>
        <translation>Cloud monitor</translation>
    </message>
    <message>
        <source>Informations</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>Table</source>
        <translation>Table</translation>
    </message>
    <message>
        <source>Statistiques</source>
        <translation>Statistics</translation>
    </message>
    <message>
        <source>Mesures</source>
        <translation>Measurements</translation>
    </message>
    <message>
        <source>  Température extérieure</source>
        <translation>  Outside temperature</translation>
    </message>
    <message>
        <source>  Température ressentie</source>
        <translation>  Wind chill</translation>
    </message>
    <message>
        <source>  Température détect. pluie</source>
        <translation>  Rain sensor temp.</translation>
    </message>
    <message>
        <source>  Température détect. IR</source>
        <translation>  IR sensor temp.</translation>
    </message>
    <message>
        <source>  Température CIEL</source>
        <translation>  SKY temperature</translation>
    </message>
    <message>
        <source>  Humidité</source>
        <translation>  Humidity</translation>
    </message>
    <message>
        <source>  Point de rosée</source>
        <translation>  Dew point</translation>
    </message>
    <message>
        <source>  Direction Vent (Rafale)</source>
        <translation>  Wind direction (gust)</translation>
    </message>
    <message>
        <source>  Vitesse vent (Rafale)</source>
        <translation>  Wind speed (gust)</translation>
    </message>
    <message>
        <source>  Puissance chauffage</source>
        <translation>  Heater power</translation>
    </message>
    <message>
        <source>Est aussi mis en route lorsque T&lt;4°C (85% RH), T&lt;0° ou pluie, coupé lorsque T&gt;6°C (RH&lt;75%), T&gt;15°C ou détecteur sec.</source>
        <translation>Also switched on when T&lt;4°C (85% RH), T&lt;0° or rain, switched off when T&gt;6°C (RH&lt;75%), T&gt;15°C or the sensor is dry.</translation>
    </message>
    <message>
        <source>  Tension d&apos;alimentation</source>
        <translation>  Supply voltage</translation>
    </message>
    <message>
        <source>  Lumière</source>
        <translation>  Light</translation>
    </message>
    <message>
        <source>  Magnitude /sec²</source>
        <translation>  Magnitude /sec²</translation>
    </message>
    <message>
        <source>  Etat communication RS232</source>
        <translation>  RS232 link state</translation>
    </message>
    <message>
        <source>Pas disponible</source>
        <translation>Not available</translation>
    </message>
    <message>
        <source>Etats</source>
        <translation>States</translation>
    </message>
    <message>
        <source> Etat du CIEL</source>
        <translation> SKY state</translation>
    </message>
    <message>
        <source>(Il faut au moins 5 mesures pour obtenir une information valide)</source>
        <translation>(At least 5 readings are needed for a valid state)</translation>
    </message>
    <message>
        <source> Etat de l&apos;atmosphère</source>
        <translation> Air state</translation>
    </message>
    <message>
        <source> Pluie/neige en cours</source>
        <translation> Rain/snow now</translation>
    </message>
    <message>
        <source> Etat du vent</source>
        <translation> Wind state</translation>
    </message>
    <message>
        <source>  Etat du fond de ciel</source>
        <translation>  Sky background state</translation>
    </message>
    <message>
        <source>Relais</source>
        <translation>Relay</translation>
    </message>
    <message>
        <source>Surveillance</source>
        <translation>Watching</translation>
    </message>
    <message>
        <source>Ciel-sol &lt;</source>
        <translation>Sky-ground &lt;</translation>
    </message>
    <message>
        <source>Humidité &lt;</source>
        <translation>Humidity &lt;</translation>
    </message>
    <message>
        <source>Vent &lt;</source>
        <translation>Wind &lt;</translation>
    </message>
    <message>
        <source>Lumière</source>
        <translation>Light</translation>
    </message>
    <message>
        <source>Magnitude &gt;</source>
        <translation>Magnitude &gt;</translation>
    </message>
    <message>
        <source> Abri/Dôme</source>
        <translation> Roof/Dome</translation>
    </message>
    <message>
        <source>Cycle des mesures</source>
        <translation>Reading cycle</translation>
    </message>
    <message>
        <source>Intervalle</source>
        <translation>Interval</translation>
    </message>
    <message>
        <source>Prochaine dans</source>
        <translation>Next in</translation>
    </message>
    <message>
        <source>Dernière mesure</source>
        <translation>Last reading</translation>
    </message>
    <message>
        <source>Météo</source>
        <translation>Weather</translation>
    </message>
    <message>
        <source>TEST EXCEPTION</source>
        <translation>TEST EXCEPTION</translation>
    </message>
    <message>
        <source>Vision de nuit</source>
        <translation>Night vision</translation>
    </message>
    <message>
        <source>Rouge sombre sur noir, pour garder les yeux adaptés à l&apos;obscurité</source>
        <translation>Dim red on black, to keep eyes adapted to the dark</translation>
    </message>
    <message>
        <source>%dx%d pixels</source>
        <translation>%dx%d pixels</translation>
    </message>
</context>
<context>
    <name>Mqtt</name>
    <message>
        <source>Le préfixe de sujet &quot;%s&quot; (réglage &quot;%s&quot; sous [MQTT]) %s.</source>
        <translation>The topic prefix &quot;%s&quot; (setting &quot;%s&quot; under [MQTT]) %s.</translation>
    </message>
    <message>
        <source>est vide</source>
        <translation>is empty</translation>
    </message>
    <message>
        <source>contient un joker &quot;+&quot; ou &quot;#&quot;, réservé aux abonnements</source>
        <translation>holds a wildcard &quot;+&quot; or &quot;#&quot;, which only subscriptions may use</translation>
    </message>
    <message>
        <source>contient un caractère nul</source>
        <translation>holds a NUL character</translation>
    </message>
    <message>
        <source>contient un niveau vide (&quot;/&quot; au début, à la fin ou doublé)</source>
        <translation>holds an empty level (&quot;/&quot; at the start, at the end or doubled)</translation>
    </message>
    <message>
        <source>est trop long</source>
        <translation>is too long</translation>
    </message>
    <message>
        <source>Température du ciel</source>
        <translation>Sky temperature</translation>
    </message>
    <message>
        <source>Ciel moins ambiante</source>
        <translation>Sky minus ambient</translation>
    </message>
    <message>
        <source>Température ambiante</source>
        <translation>Ambient temperature</translation>
    </message>
    <message>
        <source>Point de rosée</source>
        <translation>Dew point</translation>
    </message>
    <message>
        <source>Humidité</source>
        <translation>Humidity</translation>
    </message>
    <message>
        <source>Rafale de vent</source>
        <translation>Wind gust</translation>
    </message>
    <message>
        <source>Direction du vent</source>
        <translation>Wind direction</translation>
    </message>
    <message>
        <source>Fond de ciel</source>
        <translation>Sky brightness</translation>
    </message>
    <message>
        <source>Niveau de lumière (log)</source>
        <translation>Light level (log)</translation>
    </message>
    <message>
        <source>Chauffage du capteur de pluie</source>
        <translation>Rain sensor heater</translation>
    </message>
    <message>
        <source>Tension d&apos;alimentation</source>
        <translation>Supply voltage</translation>
    </message>
    <message>
        <source>Pluie</source>
        <translation>Rain</translation>
    </message>
    <message>
        <source>Relais de fermeture du toit fermé</source>
        <translation>Roof closing relay closed</translation>
    </message>
    <message>
        <source>Liaison avec la station</source>
        <translation>Station link</translation>
    </message>
    <message>
        <source>Conditions dangereuses pour l&apos;observatoire</source>
        <translation>Unsafe conditions for the observatory</translation>
    </message>
    <message>
        <source>hôte inconnu</source>
        <translation>unknown host</translation>
    </message>
    <message>
        <source>connexion refusée : aucun courtier n&apos;écoute sur ce port</source>
        <translation>connection refused: no broker listens on this port</translation>
    </message>
    <message>
        <source>identifiant ou mot de passe refusé par le courtier</source>
        <translation>user name or password refused by the broker</translation>
    </message>
    <message>
        <source>connexion non autorisée par le courtier</source>
        <translation>connection not authorised by the broker</translation>
    </message>
    <message>
        <source>échec TLS (certificat non reconnu ou courtier sans TLS)</source>
        <translation>TLS failure (certificate not recognised, or a broker without TLS)</translation>
    </message>
    <message>
        <source>connexion fermée par le courtier</source>
        <translation>connection closed by the broker</translation>
    </message>
    <message>
        <source>le courtier ne répond plus</source>
        <translation>the broker no longer answers</translation>
    </message>
    <message>
        <source>erreur réseau</source>
        <translation>network error</translation>
    </message>
    <message>
        <source>MQTT : connexion à %s...</source>
        <translation>MQTT: connecting to %s...</translation>
    </message>
    <message>
        <source>MQTT : connecté à %s</source>
        <translation>MQTT: connected to %s</translation>
    </message>
    <message>
        <source>MQTT : connexion perdue (%s), nouvel essai dans %d s</source>
        <translation>MQTT: connection lost (%s), next try in %d s</translation>
    </message>
    <message>
        <source>MQTT : connexion impossible à %s (%s), nouvel essai dans %d s</source>
        <translation>MQTT: cannot connect to %s (%s), next try in %d s</translation>
    </message>
    <message>
        <source>MQTT : connexion impossible à %s (%s). Corrigez les réglages sous [MQTT] ; pas de nouvel essai d&apos;ici là.</source>
        <translation>MQTT: cannot connect to %s (%s). Correct the settings under [MQTT]; no new try until then.</translation>
    </message>
    <message>
        <source>MQTT : arrêté</source>
        <translation>MQTT: stopped</translation>
    </message>
    <message>
        <source>Publication MQTT non démarrée : %s Le programme continue sans elle.</source>
        <translation>MQTT publishing not started: %s The program runs on without it.</translation>
    </message>
    <message>
        <source>Publication MQTT non démarrée : le fichier d&apos;autorités de certification &quot;%s&quot; (réglage &quot;CAFile&quot; sous [MQTT]) n&apos;est pas un fichier lisible. Le programme continue sans elle.</source>
        <translation>MQTT publishing not started: the certificate authority file &quot;%s&quot; (setting &quot;CAFile&quot; under [MQTT]) is not a readable file. The program runs on without it.</translation>
    </message>
    <message>
        <source>Publication MQTT non démarrée : la bibliothèque MQTT n&apos;a pas pu être initialisée. Le programme continue sans elle.</source>
        <translation>MQTT publishing not started: the MQTT library could not be initialised. The program runs on without it.</translation>
    </message>
    <message>
        <source>Publication MQTT non démarrée : TLS refusé (%s). Le programme continue sans elle.</source>
        <translation>MQTT publishing not started: TLS refused (%s). The program runs on without it.</translation>
    </message>
    <message>
        <source>n&apos;est pas un texte UTF-8 ou contient un caractère de contrôle (fichier enregistré dans un autre codage ?)</source>
        <translation>is not UTF-8 text or holds a control character (file saved in another encoding?)</translation>
    </message>
    <message>
        <source>L&apos;identifiant de client &quot;%s&quot; (réglage &quot;ClientId&quot; sous [MQTT]) %s.</source>
        <translation>The client identifier &quot;%s&quot; (setting &quot;ClientId&quot; under [MQTT]) %s.</translation>
    </message>
    <message>
        <source>Publication MQTT non démarrée : aucun courtier n&apos;est nommé (réglage &quot;Host&quot; sous [MQTT] vide). Le programme continue sans elle.</source>
        <translation>MQTT publishing not started: no broker is named (setting &quot;Host&quot; under [MQTT] is empty). The program runs on without it.</translation>
    </message>
</context>
<context>
    <name>NumberEdit</name>
    <message>
        <source>Entrée incorrecte !</source>
        <translation>Invalid entry!</translation>
    </message>
    <message>
        <source> n&apos;est pas une valeur entière valide !</source>
        <translation> is not a valid integer value!</translation>
    </message>
    <message>
        <source>Nombre trop grand par rapport à :</source>
        <translation>Number too large, the limit is:</translation>
    </message>
    <message>
        <source>Nombre trop petit par rapport à  :</source>
        <translation>Number too small, the limit is:</translation>
    </message>
    <message>
        <source> n&apos;est pas une valeur réelle valide !</source>
        <translation> is not a valid real value!</translation>
    </message>
</context>
<context>
    <name>PlatformServices</name>
    <message>
        <source>Erreur lors du lancement de </source>
        <translation>Error while starting </translation>
    </message>
    <message>
        <source>Le chemin spécifié n&apos;a pas été trouvé !</source>
        <translation>The specified path was not found!</translation>
    </message>
    <message>
        <source>Le fichier spécifié n&apos;a pas été trouvé !</source>
        <translation>The specified file was not found!</translation>
    </message>
    <message>
        <source>Le programme Orvanel fonctionne déjà, ouvrir une autre session ?</source>
        <translation>Orvanel is already running, open another session?</translation>
    </message>
</context>
<context>
    <name>Safety</name>
    <message>
        <source>conditions sûres</source>
        <translation>safe conditions</translation>
    </message>
    <message>
        <source>aucune mesure météo reçue</source>
        <translation>no weather reading received</translation>
    </message>
    <message>
        <source>dernière mesure météo trop ancienne (plus de 2 minutes)</source>
        <translation>last weather reading too old (more than 2 minutes)</translation>
    </message>
    <message>
        <source>liaison perdue avec la station</source>
        <translation>link with the station lost</translation>
    </message>
    <message>
        <source>relais de fermeture du toit activé</source>
        <translation>roof-closing relay activated</translation>
    </message>
    <message>
        <source>pluie</source>
        <translation>rain</translation>
    </message>
    <message>
        <source>vent très fort</source>
        <translation>very strong wind</translation>
    </message>
    <message>
        <source>ciel non dégagé</source>
        <translation>sky not clear</translation>
    </message>
    <message>
        <source>jour</source>
        <translation>daylight</translation>
    </message>
    <message>
        <source>conditions sûres depuis moins de %s min (encore %d s)</source>
        <translation>safe conditions for less than %s min (%d s left)</translation>
    </message>
</context>
<context>
    <name>Snapshots</name>
    <message>
        <source>Qualité JPEG hors limites (1 à 100) : %d</source>
        <translation>JPEG quality out of range (1 to 100): %d</translation>
    </message>
    <message>
        <source>Image vide, fichier %s non écrit</source>
        <translation>Empty image, file %s not written</translation>
    </message>
    <message>
        <source>Erreur d&apos;encodage JPEG de %s : %s</source>
        <translation>JPEG encoding error for %s: %s</translation>
    </message>
    <message>
        <source>Impossible d&apos;écrire le fichier %s : %s</source>
        <translation>Cannot write the file %s: %s</translation>
    </message>
</context>
<context>
    <name>StartupFolders</name>
    <message>
        <source>Erreur grave au démarrage : [%s] !</source>
        <translation>Serious error at start-up: [%s]!</translation>
    </message>
</context>
<context>
    <name>Statistics</name>
    <message>
        <source>%1.2f Jrs</source>
        <translation>%1.2f days</translation>
    </message>
    <message>
        <source>N/D</source>
        <translation>N/A</translation>
    </message>
    <message>
        <source>%d blocs</source>
        <translation>%d blocks</translation>
    </message>
    <message>
        <source>Jour/Nuit</source>
        <translation>Day/Night</translation>
    </message>
    <message>
        <source>Nuit</source>
        <translation>Night</translation>
    </message>
    <message>
        <source>Jour</source>
        <translation>Day</translation>
    </message>
    <message>
        <source> Température (Moyenne)</source>
        <translation> Temperature (mean)</translation>
    </message>
    <message>
        <source> % ciel sans nuages</source>
        <translation> % cloudless sky</translation>
    </message>
    <message>
        <source> Blocs continus de ciel sans nuages &gt;2h</source>
        <translation> Continuous cloudless blocks &gt;2h</translation>
    </message>
    <message>
        <source> % continus de ciel sans nuages &gt;2h</source>
        <translation> % continuously cloudless &gt;2h</translation>
    </message>
    <message>
        <source> Nb d&apos;heures pluie/neige</source>
        <translation> Hours of rain/snow</translation>
    </message>
    <message>
        <source>Humidité Moyenne (%)</source>
        <translation>Mean humidity (%)</translation>
    </message>
    <message>
        <source>Humidité Max (%)</source>
        <translation>Max humidity (%)</translation>
    </message>
    <message>
        <source>Humidité Min (%)</source>
        <translation>Min humidity (%)</translation>
    </message>
    <message>
        <source>Vent (Moyenne)</source>
        <translation>Wind (mean)</translation>
    </message>
    <message>
        <source>Vent (Maximum)</source>
        <translation>Wind (maximum)</translation>
    </message>
    <message>
        <source>Vent (Median)</source>
        <translation>Wind (median)</translation>
    </message>
</context>
<context>
    <name>TAlpacaServer</name>
    <message>
        <source>Serveur Alpaca non démarré : l&apos;adresse &quot;%1&quot; n&apos;est pas une adresse IP (réglage &quot;Address&quot; sous [Alpaca]). Le programme continue sans lui.</source>
        <translation>Alpaca server not started: the address &quot;%1&quot; is not an IP address (&quot;Address&quot; setting under [Alpaca]). The program goes on without it.</translation>
    </message>
    <message>
        <source>Serveur Alpaca non démarré : impossible d&apos;écouter sur %1:%2 (%3). Un autre programme utilise peut-être ce port ; changez &quot;Port&quot; sous [Alpaca] ou lancez avec --alpaca ADRESSE:PORT. Le programme continue sans lui.</source>
        <translation>Alpaca server not started: cannot listen on %1:%2 (%3). Another program may be using this port; change &quot;Port&quot; under [Alpaca] or start with --alpaca ADDRESS:PORT. The program goes on without it.</translation>
    </message>
    <message>
        <source>Orvanel : serveur Alpaca</source>
        <translation>Orvanel: Alpaca server</translation>
    </message>
    <message>
        <source>Orvanel : conditions d&apos;observation</source>
        <translation>Orvanel: observing conditions</translation>
    </message>
    <message>
        <source>Orvanel : moniteur de sécurité</source>
        <translation>Orvanel: safety monitor</translation>
    </message>
    <message>
        <source>non mesuré</source>
        <translation>not measured</translation>
    </message>
    <message>
        <source>pas encore de mesure</source>
        <translation>no reading yet</translation>
    </message>
    <message>
        <source>Verdict de sécurité</source>
        <translation>Safety verdict</translation>
    </message>
    <message>
        <source>Sûr</source>
        <translation>Safe</translation>
    </message>
    <message>
        <source>Non sûr</source>
        <translation>Unsafe</translation>
    </message>
    <message>
        <source>Conditions actuelles</source>
        <translation>Current conditions</translation>
    </message>
    <message>
        <source>Dernière mesure</source>
        <translation>Last reading</translation>
    </message>
    <message>
        <source>Température</source>
        <translation>Temperature</translation>
    </message>
    <message>
        <source>Humidité</source>
        <translation>Humidity</translation>
    </message>
    <message>
        <source>Point de rosée</source>
        <translation>Dew point</translation>
    </message>
    <message>
        <source>Température du ciel</source>
        <translation>Sky temperature</translation>
    </message>
    <message>
        <source>Couverture nuageuse</source>
        <translation>Cloud cover</translation>
    </message>
    <message>
        <source>Pluie</source>
        <translation>Rain</translation>
    </message>
    <message>
        <source>Rafale</source>
        <translation>Gust</translation>
    </message>
    <message>
        <source>Direction du vent</source>
        <translation>Wind direction</translation>
    </message>
    <message>
        <source>Qualité du ciel</source>
        <translation>Sky quality</translation>
    </message>
    <message>
        <source>Relais de fermeture du toit</source>
        <translation>Roof-closing relay</translation>
    </message>
    <message>
        <source>fermé</source>
        <translation>closed</translation>
    </message>
    <message>
        <source>ouvert</source>
        <translation>open</translation>
    </message>
    <message>
        <source>Réglages</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Cette page est en lecture seule. Les réglages sont sous [Alpaca] dans %1 : Enabled, Address, Port, DiscoveryPort, SafeDelayMin, UnsafeInDaylight ; ils prennent effet au prochain démarrage.</source>
        <translation>This page is read-only. The settings are under [Alpaca] in %1: Enabled, Address, Port, DiscoveryPort, SafeDelayMin, UnsafeInDaylight; they take effect at the next start.</translation>
    </message>
</context>
<context>
    <name>TDataTableTab</name>
    <message>
        <source>Les index de départ et d&apos;arrivée doivent être des nombres entiers.</source>
        <translation>The start and end indexes must be whole numbers.</translation>
    </message>
    <message>
        <source>Exporter les données en CSV</source>
        <translation>Export the data as CSV</translation>
    </message>
    <message>
        <source>Fichier CSV (*.CSV *.csv)</source>
        <translation>CSV file (*.CSV *.csv)</translation>
    </message>
    <message>
        <source>Index de départ</source>
        <translation>Start index</translation>
    </message>
    <message>
        <source>Index de d&apos;arrivée</source>
        <translation>End index</translation>
    </message>
    <message>
        <source>Recupère l&apos;index courant</source>
        <translation>Get the current index</translation>
    </message>
    <message>
        <source>Executer</source>
        <translation>Run</translation>
    </message>
    <message>
        <source>Nettoyer données</source>
        <translation>Clean data</translation>
    </message>
    <message>
        <source>Met à 0 les vitesses de vent négatives, invalides ou supérieures à 100 m/s</source>
        <translation>Sets to 0 the wind speeds that are negative, invalid or above 100 m/s</translation>
    </message>
    <message>
        <source>Premier point</source>
        <translation>First point</translation>
    </message>
</context>
<context>
    <name>TDatabaseRegistry</name>
    <message>
        <source>Le fichier de réglages %s ne peut pas être lu (%s) : les réglages par défaut sont utilisés et ce fichier ne sera pas modifié.</source>
        <translation>The settings file %s cannot be read (%s): the default settings are used and this file will not be changed.</translation>
    </message>
    <message>
        <source>ce n&apos;est pas un fichier ordinaire</source>
        <translation>it is not a regular file</translation>
    </message>
    <message>
        <source>Le fichier de réglages %s est endommagé : les réglages par défaut sont utilisés. Il sera conservé sous le nom %s avant le prochain enregistrement des réglages.</source>
        <translation>The settings file %s is damaged: the default settings are used. It will be kept as %s before the settings are next saved.</translation>
    </message>
</context>
<context>
    <name>TFormConfigTavrel</name>
    <message>
        <source>Configuration</source>
        <translation>Configuration</translation>
    </message>
    <message>
        <source>Connectivité</source>
        <translation>Connectivity</translation>
    </message>
    <message>
        <source>Config Halvex</source>
        <translation>Halvex config</translation>
    </message>
    <message>
        <source>Fichiers de sortie</source>
        <translation>Output files</translation>
    </message>
    <message>
        <source>Affichages</source>
        <translation>Display</translation>
    </message>
    <message>
        <source>Logs/Journaux</source>
        <translation>Logs</translation>
    </message>
    <message>
        <source>Critères fermeture urgence</source>
        <translation>Emergency closing criteria</translation>
    </message>
    <message>
        <source>Seuils</source>
        <translation>Thresholds</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>Ok</translation>
    </message>
    <message>
        <source>Annuler</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Port série RS232</source>
        <translation>RS232 serial port</translation>
    </message>
    <message>
        <source> Numéro de port série COM RS232</source>
        <translation> RS232 COM port number</translation>
    </message>
    <message>
        <source>Vide : le port COM ci-dessus. Un périphérique nommé ici (/dev/ttyUSB0, /dev/serial/by-id/..., /dev/rfcomm0) le remplace.</source>
        <translation>Empty: the COM port above. A device named here (/dev/ttyUSB0, /dev/serial/by-id/..., /dev/rfcomm0) replaces it.</translation>
    </message>
    <message>
        <source> Périphérique série (prioritaire sur le numéro)</source>
        <translation> Serial device (overrides the number)</translation>
    </message>
    <message>
        <source> Port série COM sur BlueTooth</source>
        <translation> Bluetooth COM serial port</translation>
    </message>
    <message>
        <source>Mémoire interne Halvex (EEPROM)</source>
        <translation>Halvex internal memory (EEPROM)</translation>
    </message>
    <message>
        <source>10 secondes</source>
        <translation>10 seconds</translation>
    </message>
    <message>
        <source>30 secondes</source>
        <translation>30 seconds</translation>
    </message>
    <message>
        <source>1 minute</source>
        <translation>1 minute</translation>
    </message>
    <message>
        <source>2 minutes</source>
        <translation>2 minutes</translation>
    </message>
    <message>
        <source>3 minutes</source>
        <translation>3 minutes</translation>
    </message>
    <message>
        <source>5 minutes</source>
        <translation>5 minutes</translation>
    </message>
    <message>
        <source>10 minutes</source>
        <translation>10 minutes</translation>
    </message>
    <message>
        <source>15 minutes</source>
        <translation>15 minutes</translation>
    </message>
    <message>
        <source>20 minutes</source>
        <translation>20 minutes</translation>
    </message>
    <message>
        <source>30 minutes</source>
        <translation>30 minutes</translation>
    </message>
    <message>
        <source>45 minutes</source>
        <translation>45 minutes</translation>
    </message>
    <message>
        <source>1 heure</source>
        <translation>1 hour</translation>
    </message>
    <message>
        <source> Intervalle d&apos;enregistrement</source>
        <translation> Recording interval</translation>
    </message>
    <message>
        <source> Durée d&apos;enregistrement possible</source>
        <translation> Possible recording time</translation>
    </message>
    <message>
        <source>NB : ceci définit le temps d&apos;enregistrement EEPROM entre deux mesures lorsque le logiciel PC n&apos;est pas actif</source>
        <translation>Note: this sets the EEPROM recording time between two readings while the PC program is not running</translation>
    </message>
    <message>
        <source>Spécial</source>
        <translation>Special</translation>
    </message>
    <message>
        <source>Interdire le réchauffage du capteur de pluie </source>
        <translation>Forbid heating the rain sensor </translation>
    </message>
    <message>
        <source>NB : celui-ci est actif quand il pleut, ou quand l&apos;hydrométrie est élévée et la température basse. </source>
        <translation>Note: it is on when it rains, or when the humidity is high and the temperature low. </translation>
    </message>
    <message>
        <source>Configuration interne Halvex</source>
        <translation>Halvex internal configuration</translation>
    </message>
    <message>
        <source> Date interne</source>
        <translation> Internal date</translation>
    </message>
    <message>
        <source> Temps écoulé</source>
        <translation> Elapsed time</translation>
    </message>
    <message>
        <source>Photodiode</source>
        <translation>Photodiode</translation>
    </message>
    <message>
        <source>Temps d&apos;intégration de la photodiode (30s mini)</source>
        <translation>Photodiode integration time (30s min)</translation>
    </message>
    <message>
        <source>Sec</source>
        <translation>Sec</translation>
    </message>
    <message>
        <source>Courant d&apos;obscurité photodiode (ticks par 1/100sec)</source>
        <translation>Photodiode dark current (ticks per 1/100sec)</translation>
    </message>
    <message>
        <source>Gain capteur IR (Couverture du ciel)</source>
        <translation>IR sensor gain (cloud cover)</translation>
    </message>
    <message>
        <source>Valeur du gain (étage 1 et 2) </source>
        <translation>Gain value (stages 1 and 2) </translation>
    </message>
    <message>
        <source>Facteur de correction d&apos;humidité</source>
        <translation>Humidity correction factor</translation>
    </message>
    <message>
        <source>Facteur de correction (0.8 à 1.2)</source>
        <translation>Correction factor (0.8 to 1.2)</translation>
    </message>
    <message>
        <source>Fichier ligne texte à ligne unique avec dernières informations</source>
        <translation>Single-line text file with the latest data</translation>
    </message>
    <message>
        <source>Un fichier &quot;infodata.txt&quot; est automatiquement écrit ici :</source>
        <translation>A file &quot;infodata.txt&quot; is written automatically here:</translation>
    </message>
    <message>
        <source>Aucun</source>
        <translation>None</translation>
    </message>
    <message>
        <source>Compatible Boltwood Cloud Sensor I</source>
        <translation>Boltwood Cloud Sensor I compatible</translation>
    </message>
    <message>
        <source>Compatible Boltwood Cloud Sensor II</source>
        <translation>Boltwood Cloud Sensor II compatible</translation>
    </message>
    <message>
        <source>Compatible Boltwood Cloud Sensor II (strict)</source>
        <translation>Boltwood Cloud Sensor II compatible (strict)</translation>
    </message>
    <message>
        <source> Fichier</source>
        <translation> File</translation>
    </message>
    <message>
        <source> Intervalle d&apos;enregistrement auto</source>
        <translation> Auto-save interval</translation>
    </message>
    <message>
        <source>Minutes</source>
        <translation>Minutes</translation>
    </message>
    <message>
        <source>20s (1x)</source>
        <translation>20s (1x)</translation>
    </message>
    <message>
        <source>40s (2x)</source>
        <translation>40s (2x)</translation>
    </message>
    <message>
        <source>60s (3x)</source>
        <translation>60s (3x)</translation>
    </message>
    <message>
        <source>120s (6x)</source>
        <translation>120s (6x)</translation>
    </message>
    <message>
        <source>300s (15x)</source>
        <translation>300s (15x)</translation>
    </message>
    <message>
        <source>600s (30x)</source>
        <translation>600s (30x)</translation>
    </message>
    <message>
        <source> Nbre de mois de données</source>
        <translation> Months of data</translation>
    </message>
    <message>
        <source>Affichage</source>
        <translation>Display</translation>
    </message>
    <message>
        <source>24 heures</source>
        <translation>24 hours</translation>
    </message>
    <message>
        <source>2 jours</source>
        <translation>2 days</translation>
    </message>
    <message>
        <source>10 jours</source>
        <translation>10 days</translation>
    </message>
    <message>
        <source>30 jours</source>
        <translation>30 days</translation>
    </message>
    <message>
        <source>2 mois</source>
        <translation>2 months</translation>
    </message>
    <message>
        <source>6 mois</source>
        <translation>6 months</translation>
    </message>
    <message>
        <source>1 année</source>
        <translation>1 year</translation>
    </message>
    <message>
        <source>toutes</source>
        <translation>all</translation>
    </message>
    <message>
        <source>Afficher les données QUE de(s) dernier(e)s </source>
        <translation>Show ONLY the data of the last </translation>
    </message>
    <message>
        <source>(Ceci permet d&apos;afficher les dernieres données plus rapidement)</source>
        <translation>(This shows the latest data faster)</translation>
    </message>
    <message>
        <source> Ecarts en chaque point (min)</source>
        <translation> Gap between points (min)</translation>
    </message>
    <message>
        <source>pixel</source>
        <translation>pixels</translation>
    </message>
    <message>
        <source>Magnitude fond de ciel</source>
        <translation>Sky background magnitude</translation>
    </message>
    <message>
        <source>Afficher la magnitude par seconde carré, sinon afficher sous forme d&apos;unité arbitraire de luminosité de fond de ciel</source>
        <translation>Show the magnitude per square arcsecond, otherwise show the sky background brightness in arbitrary units</translation>
    </message>
    <message>
        <source>Fichier log d&apos;exploitation : log.txt</source>
        <translation>Operation log file: log.txt</translation>
    </message>
    <message>
        <source>Basique</source>
        <translation>Basic</translation>
    </message>
    <message>
        <source>Expert</source>
        <translation>Expert</translation>
    </message>
    <message>
        <source>Niveau des messages </source>
        <translation>Message level </translation>
    </message>
    <message>
        <source>Un fichier est généré par 24h</source>
        <translation>One file is made every 24h</translation>
    </message>
    <message>
        <source>Fichier log des connexions FTP</source>
        <translation>FTP connection log file</translation>
    </message>
    <message>
        <source>Critère fermeture abri/dôme (Commande du relais interne Halvex)</source>
        <translation>Roof/dome closing criteria (Halvex internal relay control)</translation>
    </message>
    <message>
        <source>Fermer le dome/abri selon les critères suivants</source>
        <translation>Close the dome/roof on the following criteria</translation>
    </message>
    <message>
        <source>Ferme l&apos;abri/dôme si un seul des critères suivant est verifié :</source>
        <translation>Closes the roof/dome if any one of the following criteria is met:</translation>
    </message>
    <message>
        <source>Activé</source>
        <translation>Enabled</translation>
    </message>
    <message>
        <source> Température du ciel-sol</source>
        <translation> Sky-ground temperature</translation>
    </message>
    <message>
        <source>(20 à -75)</source>
        <translation>(20 to -75)</translation>
    </message>
    <message>
        <source> Taux d&apos;humidité</source>
        <translation> Humidity</translation>
    </message>
    <message>
        <source>(0 à 100)</source>
        <translation>(0 to 100)</translation>
    </message>
    <message>
        <source> Vent</source>
        <translation> Wind</translation>
    </message>
    <message>
        <source>(0 à 255)</source>
        <translation>(0 to 255)</translation>
    </message>
    <message>
        <source> Nuit/Jour</source>
        <translation> Night/Day</translation>
    </message>
    <message>
        <source> Magnitude fond de ciel</source>
        <translation> Sky background magnitude</translation>
    </message>
    <message>
        <source>(4 à 13)</source>
        <translation>(4 to 13)</translation>
    </message>
    <message>
        <source> Jouer un son (.wav) lorsque cet événement se produit </source>
        <translation> Play a sound (.wav) when this event occurs </translation>
    </message>
    <message>
        <source> Executer le programme lorsque cet événement se produit </source>
        <translation> Run the program when this event occurs </translation>
    </message>
    <message>
        <source>Réarmer le relai automatiquement le relai aprés </source>
        <translation>Automatically re-arm the relay after </translation>
    </message>
    <message>
        <source>minutes</source>
        <translation>minutes</translation>
    </message>
    <message>
        <source>(le réarmement par le PC à lieu que SI les critères sont  respectés)</source>
        <translation>(the PC re-arms it only IF the criteria are met)</translation>
    </message>
    <message>
        <source>Seuils de couverture nuageuse</source>
        <translation>Cloud cover thresholds</translation>
    </message>
    <message>
        <source> Au-dessus de cette température de ciel, ce dernier sera considéré comme totalement couvert</source>
        <translation> Above this sky temperature, the sky is considered fully overcast</translation>
    </message>
    <message>
        <source> Au-dessus de cette température de ciel, ce dernier sera considéré comme partiellement couvert</source>
        <translation> Above this sky temperature, the sky is considered partly cloudy</translation>
    </message>
    <message>
        <source>Seuils de vitesses de vent</source>
        <translation>Wind speed thresholds</translation>
    </message>
    <message>
        <source> Au-dessus de cette vitesse de Vent, les conditions seront très venteuses</source>
        <translation> Above this wind speed, conditions are very windy</translation>
    </message>
    <message>
        <source> Au-dessus de cette vitesse de Vent, les conditions seront un peu venteuses</source>
        <translation> Above this wind speed, conditions are slightly windy</translation>
    </message>
    <message>
        <source>Seuil de jour (Mag/sec²)</source>
        <translation>Day threshold (Mag/sec²)</translation>
    </message>
    <message>
        <source>Seuil de crepuscule (Mag/sec²)</source>
        <translation>Twilight threshold (Mag/sec²)</translation>
    </message>
    <message>
        <source>Seuil de nuit (Mag/sec²)</source>
        <translation>Night threshold (Mag/sec²)</translation>
    </message>
    <message>
        <source> Jouer un son lorsque de bonnes conditions se produisent</source>
        <translation> Play a sound when good conditions begin</translation>
    </message>
    <message>
        <source> Jouer un son lorsque la perte de bonnes conditions se produit</source>
        <translation> Play a sound when good conditions are lost</translation>
    </message>
    <message>
        <source>%1.1f Jours</source>
        <translation>%1.1f days</translation>
    </message>
    <message>
        <source>%1.2f Heures</source>
        <translation>%1.2f hours</translation>
    </message>
    <message>
        <source>Programme</source>
        <translation>Program</translation>
    </message>
    <message>
        <source>Executables</source>
        <translation>Executables</translation>
    </message>
    <message>
        <source>Son</source>
        <translation>Sound</translation>
    </message>
    <message>
        <source>Fichiers sons</source>
        <translation>Sound files</translation>
    </message>
    <message>
        <source> n&apos;est pas un programme exécutable !</source>
        <translation> is not an executable program!</translation>
    </message>
    <message>
        <source>Tout fichiers</source>
        <translation>All files</translation>
    </message>
    <message>
        <source>Ceci va durer deux minutes, SVP réalisez cette calibration la nuit avec un cache qui empêche la moindre lumière d&apos;atteindre la photodiode ! Continuer ?</source>
        <translation>This takes two minutes. Please do this calibration at night, with a cover that keeps every bit of light away from the photodiode! Continue?</translation>
    </message>
    <message>
        <source>MQTT</source>
        <translation>MQTT</translation>
    </message>
    <message>
        <source>Publication vers un courtier MQTT (Home Assistant, Node-RED...)</source>
        <translation>Publishing to an MQTT broker (Home Assistant, Node-RED...)</translation>
    </message>
    <message>
        <source> Publier les mesures et le verdict de sécurité</source>
        <translation> Publish the readings and the safety verdict</translation>
    </message>
    <message>
        <source> Courtier (nom ou adresse)</source>
        <translation> Broker (name or address)</translation>
    </message>
    <message>
        <source> Port</source>
        <translation> Port</translation>
    </message>
    <message>
        <source> Connexion chiffrée (TLS)</source>
        <translation> Encrypted connection (TLS)</translation>
    </message>
    <message>
        <source> Fichier des autorités de certification (vide : celles du système)</source>
        <translation> Certificate authority file (empty: the system&apos;s)</translation>
    </message>
    <message>
        <source> Vérifier le certificat du courtier</source>
        <translation> Verify the broker&apos;s certificate</translation>
    </message>
    <message>
        <source> Utilisateur</source>
        <translation> User</translation>
    </message>
    <message>
        <source> Mot de passe</source>
        <translation> Password</translation>
    </message>
    <message>
        <source> Identifiant du client</source>
        <translation> Client identifier</translation>
    </message>
    <message>
        <source> Préfixe des sujets</source>
        <translation> Topic prefix</translation>
    </message>
    <message>
        <source> Découverte automatique par Home Assistant</source>
        <translation> Home Assistant discovery</translation>
    </message>
    <message>
        <source> Préfixe de découverte</source>
        <translation> Discovery prefix</translation>
    </message>
    <message>
        <source> Qualité de service (QoS)</source>
        <translation> Quality of service (QoS)</translation>
    </message>
    <message>
        <source> Intervalle de maintien de la connexion (s)</source>
        <translation> Keep-alive interval (s)</translation>
    </message>
    <message>
        <source>Les réglages MQTT prennent effet au prochain démarrage du programme.</source>
        <translation>The MQTT settings take effect at the next start of the program.</translation>
    </message>
</context>
<context>
    <name>TFormDlgDarkCompute</name>
    <message>
        <source>Courant d&apos;obscurité de la photodiode</source>
        <translation>Photodiode dark current</translation>
    </message>
    <message>
        <source>Cette fiche permet de mesurer le courant d&apos;obscurité de la photodiode.</source>
        <translation>This form measures the dark current of the photodiode.</translation>
    </message>
    <message>
        <source>Ne réaliser cette mesure QUE de nuit sans Lune, et cachez la fenêtre de la photodiode avec un masque opaque à la lumière.</source>
        <translation>Take this measurement ONLY on a moonless night, and cover the photodiode window with a light-tight mask.</translation>
    </message>
    <message>
        <source>Une fois le masque positionné, cliquer sur le bouton &quot;Démarrer&quot;.</source>
        <translation>Once the mask is in place, click the &quot;Start&quot; button.</translation>
    </message>
    <message>
        <source>La mesure va durer 2 minutes, une fois la mesure effectuée ne pas oublier de retirer le masque.</source>
        <translation>The measurement takes 2 minutes; once it is done, do not forget to remove the mask.</translation>
    </message>
    <message>
        <source>Sera automatiquement reportée dans la fiche de configuration</source>
        <translation>Will be copied automatically into the configuration form</translation>
    </message>
    <message>
        <source> Temps restant (sec)</source>
        <translation> Time left (sec)</translation>
    </message>
    <message>
        <source> Compteur en début d&apos;acquisition</source>
        <translation> Counter at start of acquisition</translation>
    </message>
    <message>
        <source> Compteur en fin d&apos;acquisition</source>
        <translation> Counter at end of acquisition</translation>
    </message>
    <message>
        <source> Difference Compteur (fin-debut)</source>
        <translation> Counter difference (end-start)</translation>
    </message>
    <message>
        <source> Valeur finale</source>
        <translation> Final value</translation>
    </message>
    <message>
        <source>Démarrer</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Utiliser la valeur et  quitter &gt;&gt;</source>
        <translation>Use the value and quit &gt;&gt;</translation>
    </message>
    <message>
        <source>Stopper</source>
        <translation>Stop</translation>
    </message>
</context>
<context>
    <name>TFormExcept</name>
    <message>
        <source>Une erreur non gérée s&apos;est produite....</source>
        <translation>An unhandled error occurred....</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Copier le contenu</source>
        <translation>Copy the content</translation>
    </message>
</context>
<context>
    <name>TFormLegend</name>
    <message>
        <source>Sous la courbe du ciel, deux bandes montrent, pour chaque mesure, l&apos;intervalle depuis la mesure précédente :</source>
        <translation>Below the sky curve, two bands show, for each reading, the interval since the previous reading:</translation>
    </message>
    <message>
        <source>Bande 1, vert : bonnes conditions (ciel dégagé, pas de pluie, vent faible, nuit noire)</source>
        <translation>Band 1, green: good conditions (clear sky, no rain, light wind, dark night)</translation>
    </message>
    <message>
        <source>Bande 1, rouge sombre : conditions défavorables</source>
        <translation>Band 1, dark red: poor conditions</translation>
    </message>
    <message>
        <source>Bande 2, cyan : pluie ou neige détectée</source>
        <translation>Band 2, cyan: rain or snow detected</translation>
    </message>
    <message>
        <source>Bande 2, brun : détecteur de pluie sec</source>
        <translation>Band 2, brown: rain sensor dry</translation>
    </message>
    <message>
        <source>Le détail des seuils figure dans la bulle d&apos;aide du bas de l&apos;onglet.</source>
        <translation>The thresholds are detailed in the tooltip at the bottom of the tab.</translation>
    </message>
    <message>
        <source>Légende</source>
        <translation>Legend</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>TFormWebSetup</name>
    <message>
        <source>Configuration de la publication Web</source>
        <translation>Web publishing setup</translation>
    </message>
    <message>
        <source>Activer le transfert des images sur le web</source>
        <translation>Enable uploading the images to the web</translation>
    </message>
    <message>
        <source>Site de dépôt des images</source>
        <translation>Image upload site</translation>
    </message>
    <message>
        <source> Hote ou adresse IP</source>
        <translation> Host or IP address</translation>
    </message>
    <message>
        <source> Uilisateur/login</source>
        <translation> User/login</translation>
    </message>
    <message>
        <source> Mot de passe</source>
        <translation> Password</translation>
    </message>
    <message>
        <source> Repertoire distant</source>
        <translation> Remote folder</translation>
    </message>
    <message>
        <source>Mode passif FTP</source>
        <translation>FTP passive mode</translation>
    </message>
    <message>
        <source>Mises à jour</source>
        <translation>Updates</translation>
    </message>
    <message>
        <source> Intervalle de Mise à Jour (sec)</source>
        <translation> Update interval (sec)</translation>
    </message>
    <message>
        <source>Secondes</source>
        <translation>Seconds</translation>
    </message>
    <message>
        <source>Propriétés des images</source>
        <translation>Image properties</translation>
    </message>
    <message>
        <source> Compression JPEG</source>
        <translation> JPEG compression</translation>
    </message>
    <message>
        <source>Tous graphiques</source>
        <translation>All graphs</translation>
    </message>
    <message>
        <source> Largueur (pixels)</source>
        <translation> Width (pixels)</translation>
    </message>
    <message>
        <source> Hauteur (pixels)</source>
        <translation> Height (pixels)</translation>
    </message>
    <message>
        <source>Récuperer la taille actuelle des graphiques</source>
        <translation>Get the current size of the graphs</translation>
    </message>
    <message>
        <source>Graphiques de vent (Rose des vents)</source>
        <translation>Wind graphs (wind rose)</translation>
    </message>
    <message>
        <source> Largueur/Hauteur (pixels)</source>
        <translation> Width/Height (pixels)</translation>
    </message>
    <message>
        <source>Récuperer la taille actuelle du graphique</source>
        <translation>Get the current size of the graph</translation>
    </message>
    <message>
        <source>Graphique vitesse du vent</source>
        <translation>Wind speed graph</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>Ok</translation>
    </message>
    <message>
        <source>Annuler</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Vérifier le certificat du serveur (ftps://)</source>
        <translation>Verify the server&apos;s certificate (ftps://)</translation>
    </message>
    <message>
        <source>Décocher pour accepter un certificat auto-signé</source>
        <translation>Uncheck to accept a self-signed certificate</translation>
    </message>
    <message>
        <source>Envoyer aussi la page orvanel.html (images et valeurs)</source>
        <translation>Also send the orvanel.html page (pictures and values)</translation>
    </message>
    <message>
        <source> Compression Jpeg : %d%%</source>
        <translation> JPEG compression: %d%%</translation>
    </message>
</context>
<context>
    <name>TGraphTabs</name>
    <message>
        <source>Température ciel</source>
        <translation>Sky temperature</translation>
    </message>
    <message>
        <source>Couverture nuageuse et pluie</source>
        <translation>Cloud cover and rain</translation>
    </message>
    <message>
        <source>Luminosité ciel</source>
        <translation>Sky brightness</translation>
    </message>
    <message>
        <source>Fond ciel (Magn/sec²)</source>
        <translation>Sky background (Magn/sec²)</translation>
    </message>
    <message>
        <source>Vitesse du vent</source>
        <translation>Wind speed</translation>
    </message>
    <message>
        <source>Vent</source>
        <translation>Wind</translation>
    </message>
    <message>
        <source>Humidité</source>
        <translation>Humidity</translation>
    </message>
    <message>
        <source>Humidité (RH %)</source>
        <translation>Humidity (RH %)</translation>
    </message>
    <message>
        <source>Température</source>
        <translation>Temperature</translation>
    </message>
    <message>
        <source>Température Ext.</source>
        <translation>Outside Temp.</translation>
    </message>
    <message>
        <source>Tensions brutes</source>
        <translation>Raw voltages</translation>
    </message>
    <message>
        <source>Volts (IR det debug)</source>
        <translation>Volts (IR det debug)</translation>
    </message>
    <message>
        <source>Historique chauffage</source>
        <translation>Heater history</translation>
    </message>
    <message>
        <source>Chauffage (debug)</source>
        <translation>Heater (debug)</translation>
    </message>
    <message>
        <source>Plot Error -&gt; </source>
        <translation>Plot Error -&gt; </translation>
    </message>
    <message>
        <source>Fond ciel (Log A.U)</source>
        <translation>Sky background (Log A.U)</translation>
    </message>
    <message>
        <source>Translater automatiquement</source>
        <translation>Auto scroll</translation>
    </message>
    <message>
        <source>Grille</source>
        <translation>Grid</translation>
    </message>
    <message>
        <source>Zoom arrière</source>
        <translation>Zoom out</translation>
    </message>
    <message>
        <source>Zoom avant</source>
        <translation>Zoom in</translation>
    </message>
    <message>
        <source>Echelle auto</source>
        <translation>Auto scale</translation>
    </message>
    <message>
        <source>Voir différence Ciel - Sol</source>
        <translation>Show Sky - ground difference</translation>
    </message>
    <message>
        <source>Légende</source>
        <translation>Legend</translation>
    </message>
    <message>
        <source>Rge=temp capt. pluie,Vert=temp ext., bleu = PWM/10</source>
        <translation>Red=rain sensor temp., Green=outside temp., blue = PWM/10</translation>
    </message>
    <message>
        <source>Rose des vents</source>
        <translation>Wind rose</translation>
    </message>
    <message>
        <source>Graphe temporel</source>
        <translation>Time graph</translation>
    </message>
    <message>
        <source>Echelle Auto</source>
        <translation>Auto Scale</translation>
    </message>
    <message>
        <source>Echelle Fixe</source>
        <translation>Fixed Scale</translation>
    </message>
    <message>
        <source>km / h</source>
        <translation>km / h</translation>
    </message>
    <message>
        <source>NB : les points sombres datent de plus de 2 hrs</source>
        <translation>Note: dark points are more than 2 hrs old</translation>
    </message>
    <message>
        <source>et ont 24 heures d&apos;age maximum.</source>
        <translation>and are at most 24 hours old.</translation>
    </message>
    <message>
        <source>Ne voir que la médiane des 31 derniers points (10 minutes)</source>
        <translation>Show only the median of the last 31 points (10 minutes)</translation>
    </message>
</context>
<context>
    <name>TGraphicSpecial</name>
    <message>
        <source>Non implementé!</source>
        <translation>Not implemented!</translation>
    </message>
    <message>
        <source>Jan</source>
        <translation>Jan</translation>
    </message>
    <message>
        <source>Fev</source>
        <translation>Feb</translation>
    </message>
    <message>
        <source>Mar</source>
        <translation>Mar</translation>
    </message>
    <message>
        <source>Avr</source>
        <translation>Apr</translation>
    </message>
    <message>
        <source>Mai</source>
        <translation>May</translation>
    </message>
    <message>
        <source>Jui</source>
        <translation>Jun</translation>
    </message>
    <message>
        <source>Jul</source>
        <translation>Jul</translation>
    </message>
    <message>
        <source>Aou</source>
        <translation>Aug</translation>
    </message>
    <message>
        <source>Sep</source>
        <translation>Sep</translation>
    </message>
    <message>
        <source>Oct</source>
        <translation>Oct</translation>
    </message>
    <message>
        <source>Nov</source>
        <translation>Nov</translation>
    </message>
    <message>
        <source>Dec</source>
        <translation>Dec</translation>
    </message>
    <message>
        <source>Di</source>
        <translation>Su</translation>
    </message>
    <message>
        <source>Lu</source>
        <translation>Mo</translation>
    </message>
    <message>
        <source>Ma</source>
        <translation>Tu</translation>
    </message>
    <message>
        <source>Me</source>
        <translation>We</translation>
    </message>
    <message>
        <source>je</source>
        <translation>Th</translation>
    </message>
    <message>
        <source>Ve</source>
        <translation>Fr</translation>
    </message>
    <message>
        <source>Sa</source>
        <translation>Sa</translation>
    </message>
    <message>
        <source>yyyy</source>
        <translation>yyyy</translation>
    </message>
    <message>
        <source>mm/yyyy</source>
        <translation>mm/yyyy</translation>
    </message>
    <message>
        <source>dd/mm/yyyy</source>
        <translation>dd/mm/yyyy</translation>
    </message>
    <message>
        <source>dd/mm/yyyy hh</source>
        <translation>dd/mm/yyyy hh</translation>
    </message>
    <message>
        <source>dd/mm/yyyy hh:mm</source>
        <translation>dd/mm/yyyy hh:mm</translation>
    </message>
    <message>
        <source>Erreur d&apos;affichage sur le point n° %d -&gt; </source>
        <translation>Display error at point #%d -&gt; </translation>
    </message>
    <message>
        <source>Affiche les points (%s) : %d</source>
        <translation>Plotting points (%s): %d</translation>
    </message>
</context>
<context>
    <name>TPlotWidget</name>
    <message>
        <source>Plot Error -&gt; </source>
        <translation>Plot Error -&gt; </translation>
    </message>
</context>
<context>
    <name>TStatsTab</name>
    <message>
        <source>Période</source>
        <translation>Period</translation>
    </message>
    <message>
        <source>Date de début</source>
        <translation>Start date</translation>
    </message>
    <message>
        <source>Date de fin</source>
        <translation>End date</translation>
    </message>
    <message>
        <source>Calculer statistiques ....</source>
        <translation>Compute statistics ....</translation>
    </message>
    <message>
        <source>Données en mémoire</source>
        <translation>Data in memory</translation>
    </message>
    <message>
        <source>Nbre de points</source>
        <translation>Number of points</translation>
    </message>
    <message>
        <source>Premier point</source>
        <translation>First point</translation>
    </message>
    <message>
        <source>Résultats</source>
        <translation>Results</translation>
    </message>
    <message>
        <source>Début</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Fin</source>
        <translation>End</translation>
    </message>
    <message>
        <source>Nbre d&apos;intervalles</source>
        <translation>Number of intervals</translation>
    </message>
    <message>
        <source>Nuit</source>
        <translation>Night</translation>
    </message>
    <message>
        <source>Jour</source>
        <translation>Day</translation>
    </message>
</context>
<context>
    <name>TVerdictBanner</name>
    <message>
        <source>%1 jours</source>
        <translation>%1 days</translation>
    </message>
    <message>
        <source>SÛR</source>
        <translation>SAFE</translation>
    </message>
    <message>
        <source>NON SÛR</source>
        <translation>UNSAFE</translation>
    </message>
    <message>
        <source>toutes les conditions sont réunies</source>
        <translation>all conditions are met</translation>
    </message>
    <message>
        <source>depuis %1</source>
        <translation>since %1</translation>
    </message>
    <message>
        <source>liaison perdue</source>
        <translation>link lost</translation>
    </message>
    <message>
        <source>aucune mesure</source>
        <translation>no reading</translation>
    </message>
    <message>
        <source>mesure d&apos;il y a %1</source>
        <translation>reading from %1 ago</translation>
    </message>
    <message>
        <source>%1 : trop ancienne</source>
        <translation>%1: too old</translation>
    </message>
</context>
<context>
    <name>TWindDisplay</name>
    <message>
        <source>[2h]</source>
        <translation>[2h]</translation>
    </message>
    <message>
        <source>N</source>
        <translation>N</translation>
    </message>
    <message>
        <source>S</source>
        <translation>S</translation>
    </message>
    <message>
        <source>O</source>
        <translation>W</translation>
    </message>
    <message>
        <source>E</source>
        <translation>E</translation>
    </message>
    <message>
        <source>Echelle Max/24h: %1.0f </source>
        <translation>Max scale/24h: %1.0f </translation>
    </message>
</context>
<context>
    <name>TWindWidget</name>
    <message>
        <source>Plot Error -&gt; </source>
        <translation>Plot Error -&gt; </translation>
    </message>
</context>
<context>
    <name>ThreadCommunicate</name>
    <message>
        <source>Erreur de lecture des données EEPROM, erreur de conversion, index : </source>
        <translation>Error reading the EEPROM data, conversion error, index: </translation>
    </message>
    <message>
        <source>Récupération des données EEPROM interrompue à l&apos;index %d</source>
        <translation>EEPROM data retrieval stopped at index %d</translation>
    </message>
</context>
<context>
    <name>Utilities</name>
    <message>
        <source>Le chemin suivant [%s] n&apos;existe pas et ne peut pas être créé, le programme sera terminé !</source>
        <translation>The path [%s] does not exist and cannot be created; the program will end!</translation>
    </message>
    <message>
        <source>Ne peut effacer ce fichier [%s], des droits administrateurs sont sans doute requis !</source>
        <translation>Cannot delete the file [%s]; administrator rights are probably needed!</translation>
    </message>
    <message>
        <source>Erreur ! Ne peut copier [%s]  vers [%s] !</source>
        <translation>Error! Cannot copy [%s] to [%s]!</translation>
    </message>
    <message>
        <source>N&apos;est pas un fichier éxécutable valide : </source>
        <translation>Not a valid executable file: </translation>
    </message>
    <message>
        <source>Fichier non trouvé : </source>
        <translation>File not found: </translation>
    </message>
</context>
</TS>
